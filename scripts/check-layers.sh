#!/bin/sh
# Checks what the linker of a static library does not: that each layer's
# library, in the build in $1, needs no txconv symbol that only a layer above
# it defines (platform <- fileio <- app; convert on its own). Each layer is
# linked, in effect, with the layers below it alone.
set -eu
build=${1:-build/release}
defined() {
    for layer in "$@"; do
        nm --defined-only -g "$build/libtxconv_$layer.a" 2> /dev/null | awk 'NF == 3 { print $3 }'
    done | sort -u
}
known=$(mktemp)
trap 'rm -f "$known"' EXIT
status=0
# layer: the layers below it, which it may use
for rule in "platform:" "convert:" "fileio:platform" "app:fileio convert platform"; do
    layer=${rule%%:*}
    # shellcheck disable=SC2086 # the list is split on purpose
    defined "$layer" ${rule#*:} > "$known"
    missing=$(nm -u "$build/libtxconv_$layer.a" | awk '{ print $NF }' | grep '^_ZN6txconv' | sort -u |
        comm -23 - "$known")
    if [ -n "$missing" ]; then
        echo "check-layers: $layer uses what only a layer above it defines:" >&2
        echo "$missing" | c++filt | sed 's/^/    /' >&2
        status=1
    fi
done
[ $status -eq 0 ] && echo "check-layers: each layer needs only the layers below it"
exit $status
