#!/bin/sh
# Checks what the compiler does not: every product file formatted by the
# checked-in .clang-format, no product file over 400 lines, every header
# opening with a comment that says what it is for, the product code
# within its size (code lines, not blank ones or comments, and files), and no
# layer that includes a layer above it (platform <- fileio <- app; convert on
# its own).
set -eu
cd "$(dirname "$0")/.."
status=0
files=$(git ls-files 'app/*.cpp' 'app/*.hpp' 'convert/*' 'fileio/*' 'platform/*.cpp' 'platform/*.hpp')

if command -v clang-format > /dev/null; then
    if ! clang-format --dry-run --Werror $files; then
        echo "check-source: run clang-format -i on the files above" >&2
        status=1
    fi
else
    echo "check-source: no clang-format, so the formatting is not checked"
fi

for file in $files; do
    lines=$(wc -l < "$file")
    if [ "$lines" -gt 400 ]; then
        echo "check-source: $file has $lines lines; split it" >&2
        status=1
    fi
    # A header opens with what its file is for, before anything else.
    case $file in
    *.hpp)
        if [ "$(grep -v -e '^#pragma once$' -e '^$' "$file" | head -n 1 | cut -c1-3)" != "// " ]; then
            echo "check-source: $file does not open with a comment that says what it is for" >&2
            status=1
        fi
        ;;
    esac
done

# The size of the product: less code that keeps every behaviour is better
# code. The ceiling stands where the code is: it is lowered as the code
# shrinks, and raised only by a change that adds a behaviour or that a guard
# of bench/ cannot be met without, which says so (11 lines, for reading a
# listing's whole lines within 1.5 times the process floor; 1, for telling a
# FILE's kind by the name Windows opens; 2, for showing a notice's 21st line
# rather than counting it, in one pass, as the menu's run has 7 instructions
# to spare; 24, for adding a listing in UTF-16 behind one that Notepad saved
# so, where ASCII made the file unreadable; 4, for writing a value's 8 digits
# at once, as the menu's run that writes a listing has no room for one at a
# time in a 37-variable environment).
MOST_CODE_LINES=4689
MOST_FILES=50
# Every source file of the layers counts, whatever its extension: the
# Windows resource templates too, though not the icon, which is no text.
sources=$(git ls-files app convert fileio platform | while read -r file; do
    if grep -Iq . "$file"; then echo "$file"; fi
done)
code_lines=$(awk '{ s = $0; sub(/^[ \t]+/, "", s)
    if (block) { if (index(s, "*/")) block = 0; next }
    if (s == "" || substr(s, 1, 2) == "//") next
    if (substr(s, 1, 4) == "<!--" && s ~ /-->$/) next
    if (substr(s, 1, 2) == "/*") { if (!index(s, "*/")) block = 1; next }
    n++ } END { print n + 0 }' $sources)
count=$(echo "$sources" | wc -w)
if [ "$code_lines" -gt $MOST_CODE_LINES ] || [ "$count" -gt $MOST_FILES ]; then
    echo "check-source: $code_lines code lines in $count files; at most $MOST_CODE_LINES in $MOST_FILES" >&2
    status=1
else
    echo "check-source: $code_lines code lines in $count files"
fi

# layer: the folders its files may include from
for rule in "convert:convert" "fileio:fileio platform" "platform:platform"; do
    layer=${rule%%:*}
    allowed=${rule#*:}
    for file in $(git ls-files "$layer/*"); do
        for included in $(sed -n 's/^#include "\([a-z]*\)\/.*/\1/p' "$file"); do
            case " $allowed " in
            *" $included "*) ;;
            *)
                echo "check-source: $file includes from $included/, above its layer" >&2
                status=1
                ;;
            esac
        done
    done
done
exit $status
