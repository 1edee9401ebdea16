#!/bin/sh
# Installs what is missing, then builds and tests Kestrova in every configuration:
#   1. the release build and every test                     (preset "test"), then the
#      program as tools/run.sh builds it, its warnings errors (preset "run")
#   2. AddressSanitizer + UndefinedBehaviorSanitizer: every test, the monkey included
#                                                           (preset "asan")
#   3. the fuzz targets: their seeds and regressions, then bounded runs (preset "fuzz")
#   4. 32-bit ARM with UndefinedBehaviorSanitizer: the build and its tests under qemu-arm
#      (preset "arm"), then the monkey against the ARM program
#   5. a packager's build, installed and packed as a .deb, then checked (tools/check-install.sh)
#   6. the web page: built with emscripten and tested in headless Chromium against the native
#      program's screenshots (preset "web-test")
#   7. desktop Windows: the mingw-w64 build and its tests under Wine and a virtual X server
#      (preset "windows"; the Wine prefix is kept in build/windows)
#   8. a real frame buffer: Debian's kernel in QEMU, one boot each for fbdev at 5-6-5 and
#      5-5-5 and for DRM/KMS, the pictures compared with the native program's
#      (tests/panel/panel_test.py; the kernel is kept in build/default/panel)
# Every part runs even when one before it failed; the exit code is non-zero if any failed.
# The last lines sum up each part and the tests of all of them.
#
# Parts can be named to run only those: sh tools/test.sh release web
set -u
cd "$(dirname "$0")/.." || exit 1
root=$(pwd)

all_parts="release sanitizers fuzz arm arm-monkey install web windows panel"
selected="$*"
for name in $selected; do
    case " $all_parts " in
    *" $name "*) ;;
    *)
        echo "tools/test.sh: no part named '$name' (the parts: $all_parts)" >&2
        exit 2
        ;;
    esac
done

# Whether part $1 is to run: every part when none was named.
wanted() {
    [ -z "$selected" ] && return 0
    case " $selected " in
    *" $1 "*) return 0 ;;
    *) return 1 ;;
    esac
}

sh tools/install-deps.sh test || exit 1

logs="$root/build/test-logs"
mkdir -p "$logs"
summary=""
parts=0
parts_failed=0
tests_passed=0
tests_failed=0
started=$(date +%s)

# Adds what CTest reported in a log to the totals, or what a checking script reported on its
# last line ("NAME: N passed, N failed"); a part that never got to its tests counts as one
# failed test.
count_tests() {
    line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1)
    if [ -n "$line" ]; then
        failed=$(echo "$line" | sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/')
        total=$(echo "$line" | sed -E 's/.* failed out of ([0-9]+).*/\1/')
    elif line=$(grep -E '^[a-z-]+: [0-9]+ passed, [0-9]+ failed$' "$1" | tail -n 1) && [ -n "$line" ]; then
        failed=$(echo "$line" | sed -E 's/.* ([0-9]+) failed$/\1/')
        total=$(($(echo "$line" | sed -E 's/.*: ([0-9]+) passed.*/\1/') + failed))
    else
        tests_failed=$((tests_failed + 1))
        return
    fi
    tests_passed=$((tests_passed + total - failed))
    tests_failed=$((tests_failed + failed))
}

# part NAME COMMAND...: runs the command with its output shown and kept in a log.
part() {
    name=$1
    shift
    wanted "$name" || return 0
    parts=$((parts + 1))
    log="$logs/$name.log"
    echo
    echo "=== $name: $*"
    t0=$(date +%s)
    { "$@"; echo $? > "$log.rc"; } 2>&1 | tee "$log"
    rc=$(cat "$log.rc")
    seconds=$(($(date +%s) - t0))
    count_tests "$log"
    if [ "$rc" -eq 0 ]; then
        status="passed"
    else
        status="FAILED (exit $rc, log in $log)"
        parts_failed=$((parts_failed + 1))
    fi
    summary="$summary
  $name: $status, ${seconds} s"
}

# The release build and its tests; then the program as tools/run.sh builds it (a unity build
# without debug information, no tests), with warnings as errors here though a user's build
# keeps going past them: other flags meet other warnings of the same compiler, and a unity
# build finds two files' private helpers of one name. In a folder of its own, so that a user's
# build/run is left as it is.
release() {
    cmake --workflow --preset test &&
        cmake --preset run -B build/run-werror -DKESTROVA_WERROR=ON >/dev/null &&
        cmake --build build/run-werror -j 2
}

# The monkey of the release build's tests, driving the ARM program under qemu-arm: fewer
# steps, as every instruction is emulated.
arm_monkey() {
    KESTROVA_MONKEY_PROGRAM="$root/build/arm/app/kestrova" \
    KESTROVA_MONKEY_EMULATOR="qemu-arm -L /usr/arm-linux-gnueabihf -E LD_LIBRARY_PATH=/usr/arm-linux-gnueabihf/lib" \
    KESTROVA_MONKEY_STEPS=1000 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        ctest --test-dir "$root/build/default" -R '^(AllScreens|EveryCombination)/Monkey' -j 2 --output-on-failure
}

# The web page's tests compare it with the native program, which the release part builds;
# built here as well in case that part failed.
web() {
    { cmake --preset default >/dev/null && cmake --build --preset default --target kestrova; } &&
        cmake --workflow --preset web-test
}

# The real frame buffer's tests boot the native program in QEMU; built here as well in case the
# release part failed.
panel() {
    { cmake --preset default >/dev/null && cmake --build --preset default --target kestrova; } &&
        python3 tests/panel/panel_test.py build/default
}

part release release
part sanitizers cmake --workflow --preset asan
part fuzz cmake --workflow --preset fuzz
part arm cmake --workflow --preset arm
if [ -x build/arm/app/kestrova ] && [ -d build/default ]; then
    part arm-monkey arm_monkey
else
    part arm-monkey false
fi
part install sh tools/check-install.sh
part web web
part windows cmake --workflow --preset windows
part panel panel

echo
echo "=== Summary ($(($(date +%s) - started)) s in all)$summary"
if [ "$parts_failed" -ne 0 ]; then
    echo "$parts_failed of $parts parts failed"
else
    echo "all $parts parts passed"
fi
echo "tests: $tests_passed passed, $tests_failed failed"
[ "$parts_failed" -eq 0 ]
