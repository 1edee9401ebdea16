#!/bin/sh
# Instructions per pixel written for each demo at 240x320, counted by callgrind over the demo's
# drawing functions only (bitblt: the conversion and the copies; convert: the conversion alone,
# per pixel converted). Usage: bench/ipp.sh [path/to/kestrova_ipp]
set -e
driver=${1:-build/default/bench/kestrova_ipp}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
printf '%-8s %14s %12s %8s\n' demo instructions pixels "ins/px"
for case in "lines LinesDemoDraw*" "circles CirclesDemoDisc*" "bitblt ConvertDib24To16* BitmapDemoDraw*" \
    "convert ConvertDib24To16*"; do
    set -- $case
    demo=$1
    shift
    toggles=""
    for f in "$@"; do toggles="$toggles --toggle-collect=$f"; done
    pixels=$(valgrind --tool=callgrind --callgrind-out-file="$out/$demo.out" --collect-atstart=no \
        $toggles "$driver" "$demo" 2>/dev/null | sed -n 's/^pixels //p')
    instructions=$(sed -n 's/^totals: *//p' "$out/$demo.out" | awk '{print $1}')
    awk -v d="$demo" -v i="$instructions" -v p="$pixels" \
        'BEGIN { printf "%-8s %14d %12d %8.2f\n", d, i, p, i / p }'
done
