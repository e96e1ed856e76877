#!/bin/sh
# Converts the two samples in a scratch folder, each one way and back again:
#   curve.txt (a listing) -> curve.tx -> a second copy of the listing in curve.txt
#   ramp.tx (a table)     -> ramp.txt -> a second image in ramp.tx
# and checks that each round trip reproduced its sample byte for byte.
set -eu
txconv=$1
work=$2
samples=$(cd "$(dirname "$0")" && pwd)

rm -rf "$work"
mkdir -p "$work"
cp "$samples/curve.txt" "$samples/ramp.tx" "$work"
cd "$work"

convert() { # answer, input
    printf '%s\n' "$1" | "$txconv" "$2"
    echo "  answer $1 on $2: exit status $?"
}
convert 1 curve.txt
convert 2 curve.tx
convert 2 ramp.tx
convert 1 ramp.txt

same_halves() { # file, size of one half
    head -c "$2" "$1" > first
    tail -c "$2" "$1" > second
    if cmp -s first second && cmp -s first "$samples/$1"; then
        echo "  $1: the sample, then the same bytes again after the round trip"
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
