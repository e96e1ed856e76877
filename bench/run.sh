#!/bin/sh
# Builds the release binary and prints the benchmark table (Markdown).
# Needs valgrind; uses hyperfine for wall times where it is installed.
set -eu
cd "$(dirname "$0")/.."
cmake --preset release > /dev/null
cmake --build --preset release > /dev/null
exec python3 bench/bench.py build/release/txconv "${1:-build/release/bench}" ${2:-}
