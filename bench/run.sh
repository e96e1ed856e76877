#!/bin/sh
# Builds the release binary and the benchmark's two C programs (the process
# floor and the bare loop of a batch's system calls), then prints the
# benchmark tables (Markdown). Needs valgrind, gcc and GNU time; uses
# hyperfine for wall times where it is installed.
set -eu
cd "$(dirname "$0")/.."
cmake --preset release > /dev/null
cmake --build --preset release > /dev/null
scratch=${1:-build/release/bench}
mkdir -p build/release/bench-tools
printf 'int main(void) { return 0; }\n' > build/release/bench-tools/floor.c
gcc -static -O2 -o build/release/bench-tools/floor build/release/bench-tools/floor.c
gcc -O2 -o build/release/bench-tools/syscall_loop bench/syscall_loop.c
exec python3 bench/bench.py build/release/txconv "$scratch" ${2:-}
