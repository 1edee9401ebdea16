#!/bin/sh
# Runs one of Kestrova's fuzz targets (built by the "fuzz" preset into build/fuzz/fuzz/).
#
#   run.sh replay BINARY NAME              every seed and regression input of NAME, once each
#   run.sh runs BINARY NAME RUNS WORKDIR   RUNS inputs from a fixed seed, new finds in WORKDIR
#   run.sh long [SECONDS] [BUILD_DIR]      every target for SECONDS each (default 300), random
#                                          seeds, finds kept in BUILD_DIR/fuzz/long/NAME
#
# A crashing input is saved in the work folder; the message says where and how to keep it as
# a regression case.
set -eu
here=$(cd "$(dirname "$0")" && pwd)

# The seed and regression folders of a target that exist and hold files.
seed_dirs() {
    for d in "$here/corpus/$1" "$here/regressions/$1"; do
        if [ -d "$d" ] && [ -n "$(ls -A "$d")" ]; then printf '%s\n' "$d"; fi
    done
}

dict_option() {
    if [ -f "$here/$1.dict" ]; then printf '%s\n' "-dict=$here/$1.dict"; fi
}

report_crash() {
    name=$1 work=$2
    for f in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
        if [ -f "$f" ]; then
            echo "fuzz: $name failed on $f"
            echo "fuzz: repeat with: $3 $f"
            echo "fuzz: once fixed, keep it: cp $f $here/regressions/$name/"
        fi
    done
}

fuzz() {
    binary=$1 name=$2 work=$3
    shift 3
    rm -rf "$work"
    mkdir -p "$work/corpus"
    # shellcheck disable=SC2046
    if ! "$binary" "$@" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/" \
        $(dict_option "$name") "$work/corpus" $(seed_dirs "$name"); then
        report_crash "$name" "$work" "$binary"
        return 1
    fi
}

mode=${1:-}
case "$mode" in
    replay)
        binary=$2 name=$3
        files=$(for d in $(seed_dirs "$name"); do find "$d" -type f; done | sort)
        if [ -z "$files" ]; then
            echo "fuzz: $name has no seed or regression inputs"
            exit 1
        fi
        # shellcheck disable=SC2086
        exec "$binary" -timeout=10 $files
        ;;
    runs)
        fuzz "$2" "$3" "$5" -seed=1 -runs="$4"
        ;;
    long)
        seconds=${2:-300}
        build=${3:-$here/../build/fuzz}
        failed=""
        for binary in "$build"/fuzz/fuzz_*; do
            [ -x "$binary" ] || continue
            name=${binary##*/fuzz_}
            echo "fuzz: $name for $seconds s"
            # Finds accumulate across long runs: they are kept, not cleared.
            work="$build/fuzz/long/$name"
            mkdir -p "$work/corpus"
            # shellcheck disable=SC2046
            if ! "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
                -artifact_prefix="$work/" $(dict_option "$name") "$work/corpus" $(seed_dirs "$name"); then
                report_crash "$name" "$work" "$binary"
                failed="$failed $name"
            fi
        done
        if [ -n "$failed" ]; then
            echo "fuzz: failed:$failed"
            exit 1
        fi
        echo "fuzz: every target ran $seconds s without a failure"
        ;;
    *)
        sed -n '2,12p' "$0" >&2
        exit 2
        ;;
esac
