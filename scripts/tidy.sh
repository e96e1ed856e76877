#!/bin/sh
# Runs clang-tidy by the checked-in .clang-tidy on the product code that
# this platform builds, with the compile commands of the build in $1.
# Debian's clang 14 cannot read libstdc++'s <expected>, so the newest
# clang-tidy found is used; without one the check is skipped, and said so.
set -eu
cd "$(dirname "$0")/.."
build=${1:-build/release}
tidy=
for candidate in clang-tidy-19 clang-tidy-18 clang-tidy-17; do
    if command -v "$candidate" > /dev/null; then
        tidy=$candidate
        break
    fi
done
if [ -z "$tidy" ]; then
    echo "tidy: no clang-tidy of version 17 or later, so the code is not linted"
    exit 0
fi
# Files of Windows alone, the windowed twin's entry among them, are left out.
files=$(git ls-files 'app/*.cpp' 'convert/*.cpp' 'fileio/*.cpp' 'platform/*.cpp' | grep -v -e '_windows\.cpp$' -e 'main_windowed\.cpp$')
log=$(mktemp)
trap 'rm -f "$log"' EXIT
# Two at a time: the machines this runs on have two cores.
if ! printf '%s\n' $files | xargs -P 2 -n 4 "$tidy" -p "$build" --quiet --extra-arg=-std=c++23 > "$log" 2>&1; then
    grep -v -e ' warnings generated\.$' -e '^\[[0-9]*/[0-9]*\] Processing file' "$log" >&2
    echo "tidy: fix what clang-tidy says above" >&2
    exit 1
fi
echo "tidy: $(printf '%s\n' $files | wc -l) files clean"
