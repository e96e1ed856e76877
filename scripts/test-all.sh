#!/bin/sh
# Builds txconv and runs every test: the release build with warnings as errors.
set -eu
cd "$(dirname "$0")/.."

cmake --preset release
cmake --build --preset release
ctest --preset release
