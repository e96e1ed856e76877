#!/bin/sh
# Builds txconv and runs every test:
#   1. the release build (warnings as errors): unit and end-to-end tests;
#   2. the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. each fuzz target for a bounded time (FUZZ_SECONDS, default 60).
set -eu
cd "$(dirname "$0")/.."

cmake --preset release
cmake --build --preset release
ctest --preset release

cmake --preset asan
cmake --build --preset asan
ctest --preset asan

sh scripts/fuzz.sh "${FUZZ_SECONDS:-60}"
