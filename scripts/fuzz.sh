#!/bin/sh
# Builds the libFuzzer targets and runs each for a bounded time (seconds,
# default 60) on a scratch copy of the seed corpus, so the repo's stays as it
# is. Fails when a target finds a crash.
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-60}

cmake --preset fuzz
# Only the targets: they link the pure conversions alone, which Debian's
# clang builds; the rest of txconv needs a newer one.
cmake --build --preset fuzz --target listing_scan_fuzz table_listing_fuzz

for target in listing_scan table_listing; do
    corpus=build/fuzz/corpus/$target
    seeds=fuzz/corpus/${target%%_*}
    rm -rf "$corpus"
    mkdir -p "$corpus"
    cp "$seeds"/* "$corpus"
    log=build/fuzz/$target.log
    if ! "build/fuzz/fuzz/${target}_fuzz" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix=build/fuzz/ "$corpus" > "$log" 2>&1; then
        tail -40 "$log"
        echo "fuzz: $target found a crash; the input is in build/fuzz/" >&2
        exit 1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz: $target: $runs executions in ${seconds}s, corpus $(ls "$corpus" | wc -l) inputs, 0 crashes"
done
