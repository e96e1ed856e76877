#!/bin/sh
# Makes what a release ships, from the sources of this checkout, into OUT
# (default build/release-files): the Windows installer, the portable .zip
# and the Debian package, and SHA256SUMS for the three. The programs they
# hold go into OUT/parts, for a comparison to name. Builds the windows and
# release presets first. Every time written is SOURCE_DATE_EPOCH: where the
# caller sets none, the last commit's time.
set -eu
cd "$(dirname "$0")/.."
out=$(mkdir -p "${1:-build/release-files}" && cd "${1:-build/release-files}" && pwd)
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2> /dev/null || echo 1767225600)
fi
export SOURCE_DATE_EPOCH
version=$(sed -n 's/^project(txconv VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

cmake --preset windows > /dev/null
cmake --build --preset windows --target all msi > /dev/null
cmake --preset release > /dev/null
cmake --build --preset release > /dev/null

# Packed files and folders let everybody read them, whatever the umask of
# whoever packs them: the packages' modes come from here, not from a user.
umask 022
rm -rf "$out"/* "$out/.packaging"
mkdir -p "$out/parts" "$out/.packaging"
cp "build/windows/txconv-$version-x64.msi" "$out/"
cpack --config build/windows/CPackConfig.cmake -G ZIP -B "$out/.packaging" > /dev/null
cpack --config build/release/CPackConfig.cmake -G DEB -B "$out/.packaging" > /dev/null
cp "$out/.packaging"/*.zip "$out/.packaging"/*.deb "$out/"
rm -rf "$out/.packaging"
cp build/windows/txconv.exe build/windows/txconvw.exe build/release/txconv "$out/parts/"
(cd "$out" && sha256sum -- *.msi *.zip *.deb > SHA256SUMS)
echo "release: $(cd "$out" && ls -- *.msi *.zip *.deb | tr '\n' ' ')and SHA256SUMS in $out"
