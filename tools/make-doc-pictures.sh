#!/bin/sh
# Makes the pictures in docs/ that come from the headless program; with --check it makes them
# aside and names each committed one that differs (the test Docs.PicturesAreCurrent).
# usage: make-doc-pictures.sh [--check] [--kestrova BINARY] [--out DIR]
#   BINARY  the program (default build/default/app/kestrova)
#   DIR     where the pictures go, or the ones compared are (default docs)
# Each picture comes from one headless run (the lines at the end): to add one, add a line.
# They are made in a temporary folder and moved into DIR only once every run has succeeded.
# docs/window.png (the SDL window) and docs/web.png (the web page) are made as the README says.
# The slow-motion recordings (APNG) are made too, but --check leaves them out: their frames fall
# where the program's function returns put them, which the compiler's inlining decides.
set -u
cd "$(dirname "$0")/.." || exit 1
kestrova=build/default/app/kestrova
out=docs
check=false
while [ $# -gt 0 ]; do
    case $1 in
    --check) check=true ;;
    --kestrova | --out)
        [ $# -ge 2 ] && [ -n "$2" ] || { echo "make-doc-pictures: $1 needs a value" >&2; exit 2; }
        if [ "$1" = --kestrova ]; then kestrova=$2; else out=$2; fi
        shift
        ;;
    *)
        echo "make-doc-pictures: unknown argument '$1' (usage: $0 [--check] [--kestrova BINARY] [--out DIR])" >&2
        exit 2
        ;;
    esac
    shift
done
[ -f "$kestrova" ] && [ -x "$kestrova" ] ||
    { echo "make-doc-pictures: no program at $kestrova (build it first)" >&2; exit 2; }
[ -d "$out" ] || { echo "make-doc-pictures: no folder $out" >&2; exit 2; }
kestrova=$(cd "$(dirname "$kestrova")" && pwd)/$(basename "$kestrova")
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
made=""

# picture "NAME.png..." "OPTIONS" "SCRIPT": one headless run with OPTIONS (words), in a folder
# of its own, whose script's "screenshot NAME.png" lines make the pictures named.
picture() {
    mkdir "$work/run" || exit 1
    # shellcheck disable=SC2086
    if ! (cd "$work/run" && printf '%s\n' "$3" | "$kestrova" --headless --script - $2) > "$work/log" 2>&1; then
        echo "make-doc-pictures: the run that makes $1 failed:" >&2
        cat "$work/log" >&2
        exit 1
    fi
    for name in $1; do
        [ -s "$work/run/$name" ] || { echo "make-doc-pictures: the run made no $name" >&2; exit 1; }
        mv "$work/run/$name" "$work/$name" || exit 1
        made="$made $name"
    done
    rm -rf "$work/run"
}

# The README's row of pictures, on the default 240x320 5-6-5 display. Circles takes the
# program's random numbers in the order a user's session after Lines would.
picture "lines.png circles.png bitblt.png" "" "menu Tools/Lines
screenshot lines.png
menu Tools/Circles
screenshot circles.png
menu Tools/BitBlt
screenshot bitblt.png"
picture "clear.png" "" "menu Tools/Lines
menu Tools/Clear Screen
screenshot clear.png"
picture "about.png" "" "menu Tools/Lines
menu Tools/About
screenshot about.png"

# recording NAME.png FACTOR "SCRIPT": NAME.png, the run recorded at --slow FACTOR.
recording() {
    $check && return 0
    picture "$1" "--slow $2 --record $1" "$3"
}

# The README's slow-motion pictures, on the same display: Lines' twenty passes, Circles'
# discs piling up, BitBlt's slide (its 29 copies take about 30 us at full speed: 40000x).
recording "slow-lines.png" 1000 "menu Tools/Lines"
recording "slow-circles.png" 1000 "menu Tools/Circles"
recording "slow-bitblt.png" 40000 "menu Tools/BitBlt"

if $check; then
    stale=""
    for name in $made; do
        cmp -s "$work/$name" "$out/$name" || stale="$stale $out/$name"
    done
    if [ -n "$stale" ]; then
        echo "make-doc-pictures: not what the program makes now:$stale (run sh tools/make-doc-pictures.sh)"
        exit 1
    fi
    echo "make-doc-pictures: all current:$made"
    exit 0
fi
for name in $made; do
    # A rename within the folder: each picture is whole, the old one or the new.
    cp "$work/$name" "$out/.$name.tmp" && mv "$out/.$name.tmp" "$out/$name" ||
        { rm -f "$out/.$name.tmp"; exit 1; }
done
echo "make-doc-pictures: made$made in $out"
