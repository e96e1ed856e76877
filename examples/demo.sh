#!/bin/sh
# Shows txconv on the two samples in a scratch folder:
#   1. a fresh conversion each way, as a script would ask for it;
#   2. the menu, which appends: converting each result back adds a second
#      copy of the sample behind the first, byte for byte the same.
set -eu
txconv=$1
work=$2
samples=$(cd "$(dirname "$0")" && pwd)

rm -rf "$work"
mkdir -p "$work"
cp "$samples/curve.txt" "$samples/ramp.tx" "$work"
cd "$work"

echo "A fresh conversion each way:"
"$txconv" -v -1 curve.txt
"$txconv" -v -2 ramp.tx

echo "The menu appends to what is there, so converting back adds a second copy:"
convert() { # answer, input
    printf '%s\n' "$1" | "$txconv" "$2" 2>&1 | sed -n 's/^txconv: /  /p'
}
convert 2 curve.tx
convert 1 ramp.txt

same_halves() { # file, size of one half
    head -c "$2" "$1" > first
    tail -c "$2" "$1" > second
    if cmp -s first second && cmp -s first "$samples/$1"; then
        echo "  $1: the sample, then the same bytes again: the round trip changed nothing"
    else
        echo "  $1: the round trip changed the data" >&2
        exit 1
    fi
    rm -f first second
}
same_halves curve.txt 1235
same_halves ramp.tx 380
echo "Results in $work:"
ls -l
