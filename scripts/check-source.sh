#!/bin/sh
# Checks what the compiler does not: every product file formatted by the
# checked-in .clang-format, no product file over 400 lines, and no layer that
# includes a layer above it (platform <- fileio <- app; convert on its own).
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
done

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
