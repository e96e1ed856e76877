#!/bin/bash
# Builds txconv and runs every test:
#   0. the source checks: formatting, the size of the product code, the
#      direction of includes, and, once the release build is there, the
#      direction of its libraries' symbols and clang-tidy;
#   1. the Windows .exe and its installer, cross-built with MinGW-w64 and wixl
#      (skipped, and said so, where the tools are missing);
#   2. the release build (warnings as errors): unit and end-to-end tests, the
#      install test, and the .exe's tests under Wine; then the release made
#      from these builds, checked against a second build elsewhere, byte for
#      byte;
#   3. the suite again, built with AddressSanitizer and UndefinedBehaviorSanitizer;
#   4. each fuzz target for a bounded time (FUZZ_SECONDS, default 30).
# Stops at the first failure; ends with one line that counts what passed.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)
log=$(mktemp)
trap 'rm -f "$log"' EXIT

sh scripts/check-source.sh

if command -v x86_64-w64-mingw32-g++ > /dev/null; then
    cmake --preset windows
    cmake --build --preset windows
    if command -v wixl > /dev/null && command -v msibuild > /dev/null && command -v faketime > /dev/null; then
        cmake --build --preset windows --target msi
    else
        echo "test-all: no wixl, msibuild or faketime, so no installer; its tests will be skipped"
    fi
else
    echo "test-all: no x86_64-w64-mingw32-g++, so no Windows build; its tests will be skipped"
fi

# The number of tests a ctest run passed, from its own summary line.
passed_by_ctest() {
    sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -1
}

cmake --preset release
cmake --build --preset release
sh scripts/check-layers.sh build/release
sh scripts/tidy.sh build/release
ctest --preset release | tee "$log"
release=$(passed_by_ctest)
# The release, made from this run's builds, against one built again elsewhere.
reproducible=0
if [ -f build/windows/txconv.exe ] && command -v faketime > /dev/null && command -v wixl > /dev/null; then
    sh scripts/release.sh build/release-files
    sh scripts/check-reproducible.sh build/release-files
    reproducible=1
else
    echo "test-all: no Windows build or installer, so the release's reproducibility is not checked"
fi

cmake --preset asan
cmake --build --preset asan
ctest --preset asan | tee "$log"
sanitized=$(passed_by_ctest)

sh scripts/fuzz.sh "${FUZZ_SECONDS:-30}" | tee "$log"
fuzzed=$(grep -c ', 0 crashes$' "$log")

elapsed=$(($(date +%s) - started))
echo "test-all: the source checks, $release release tests, $reproducible reproducibility check," \
    "$sanitized sanitized tests and $fuzzed fuzz targets in $((elapsed / 60)) min $((elapsed % 60)) s"
echo "test-all: $((1 + release + reproducible + sanitized + fuzzed)) passed, 0 failed"
