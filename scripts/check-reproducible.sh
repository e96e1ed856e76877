#!/bin/sh
# Checks that the same sources give the same bytes: the release of this
# checkout (FIRST, a folder that scripts/release.sh made, or made here),
# against a second one built from a copy of the sources in another folder,
# later, with another umask, LANG, USER, LOGNAME and HOME. Where a file
# differs it names it and, with diffoscope installed, shows where. Last, it
# shows that it can fail: a package made again at another time is caught.
set -eu
cd "$(dirname "$0")/.."
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2> /dev/null || echo 1767225600)
export SOURCE_DATE_EPOCH
started=$(date +%s)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
first=${1:-}
if [ -z "$first" ]; then
    first=$scratch/first
    sh scripts/release.sh "$first" > /dev/null
fi

# The second: the sources as they are here, in a folder of another name.
copy=$scratch/a-second-folder/txconv
mkdir -p "$copy" "$scratch/home"
git ls-files -z --cached --others --exclude-standard | xargs -0 cp --parents -t "$copy"
sleep 1
(
    umask 077
    cd "$copy"
    LANG=zh_CN.UTF-8 USER=somebody-else LOGNAME=somebody-else HOME=$scratch/home sh scripts/release.sh "$scratch/second"
) > /dev/null

# Names each file of the release in $1 that differs in $2; returns 1 if any.
compare() {
    differ=0
    for file in $(cd "$1" && ls -- *.msi *.zip *.deb SHA256SUMS parts/*); do
        if ! cmp -s "$1/$file" "$2/$file"; then
            echo "check-reproducible: $file differs between two builds of the same sources"
            if command -v diffoscope > /dev/null; then
                diffoscope --text - "$1/$file" "$2/$file" | head -40 || true
            fi
            differ=1
        fi
    done
    return $differ
}

compare "$first" "$scratch/second" || exit 1

# The check catches what it is for: the .deb made again at another time.
mkdir -p "$scratch/later"
cp -r "$scratch/second"/. "$scratch/later"
SOURCE_DATE_EPOCH=$((SOURCE_DATE_EPOCH + 86400)) cpack --config "$copy/build/release/CPackConfig.cmake" -G DEB \
    -B "$scratch/later/.packaging" > /dev/null
cp "$scratch/later/.packaging"/*.deb "$scratch/later/"
if compare "$first" "$scratch/later" > "$scratch/caught" 2>&1 || ! grep -q '\.deb differs' "$scratch/caught"; then
    echo "check-reproducible: a package made at another time was not caught" >&2
    exit 1
fi
echo "check-reproducible: two builds of the same sources are alike, byte for byte" \
    "($(cd "$first" && ls -- *.msi *.zip *.deb parts/* | wc -l) files, $(($(date +%s) - started)) s)"
