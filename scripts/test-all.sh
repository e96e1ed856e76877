#!/bin/sh
# Builds txconv and runs every test:
#   0. the source checks: formatting, file length, the direction of includes;
#   1. the Windows .exe, cross-built with MinGW-w64 (skipped, and said so, where
#      the cross compiler is missing);
#   2. the release build (warnings as errors): unit and end-to-end tests, the
#      install test, and the .exe's tests under Wine;
#   3. the suite again, built with AddressSanitizer and UndefinedBehaviorSanitizer;
#   4. each fuzz target for a bounded time (FUZZ_SECONDS, default 60).
set -eu
cd "$(dirname "$0")/.."

sh scripts/check-source.sh

if command -v x86_64-w64-mingw32-g++ > /dev/null; then
    cmake --preset windows
    cmake --build --preset windows
else
    echo "test-all: no x86_64-w64-mingw32-g++, so no Windows build; its tests will be skipped"
fi

cmake --preset release
cmake --build --preset release
ctest --preset release

cmake --preset asan
cmake --build --preset asan
ctest --preset asan

sh scripts/fuzz.sh "${FUZZ_SECONDS:-60}"
