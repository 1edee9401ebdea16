#!/bin/sh
# Installs the Debian packages Kestrova needs, where missing, in two sets:
#   run   what building and running the program need: the compiler, CMake with Ninja, llvm-rc
#         for the resources, FreeType, libpng, zlib, SDL2 with Xlib, CLI11, libdrm, libevdev
#         and the typeface that is linked in. tools/run.sh installs this set.
#   test  the run set and everything the tests need (tools/test.sh installs this set): Make for
#         the other presets, the sanitizer and fuzzing builds (clang with its sanitizer and
#         libFuzzer runtimes), the 32-bit ARM cross build with its armhf libraries and
#         qemu-user, the checkers of the installed tree and the Debian package, the web page
#         (emscripten; dpkg-dev unpacks FreeType's source for it; chromium and node test it),
#         and the Windows build (mingw-w64) with Wine to run its tests, and its MSI package
#         (wixl; msitools to read it back), and the real frame buffer's tests on a kernel in
#         QEMU (busybox and cpio make its initramfs).
# Usage: install-deps.sh [run|test] [--list] (test when no set is named); --list prints the
# set's packages, one a line, and installs nothing.
# Run as root on Debian 12; running it again installs nothing new.
set -eu

# Every package here is named by a find_package, pkg_check_modules, find_program or file of the
# build with tests and benchmarks off; tests/tools/run_set_test.py keeps the two in step.
run_packages="cmake ninja-build g++ pkg-config llvm libfreetype-dev libpng-dev libsdl2-dev libx11-dev
libcli11-dev zlib1g-dev fonts-dejavu-core libdrm-dev libevdev-dev"

packages="make clang clang-format libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev valgrind xvfb xdotool x11-apps
imagemagick xauth openbox xdg-user-dirs g++-arm-linux-gnueabihf qemu-user
qemu-system-x86 busybox-static cpio
python3 dpkg-dev desktop-file-utils appstream lintian man-db
emscripten nodejs chromium
mingw-w64 g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64 wine wine64 msitools wixl"
# The libraries the ARM build links, for the armhf architecture.
armhf_packages="libfreetype-dev:armhf libpng-dev:armhf libgtest-dev:armhf"

usage() {
    echo "usage: install-deps.sh [run|test] [--list]" >&2
    exit 2
}

[ $# -le 2 ] || usage
[ $# -ge 1 ] && [ "$1" != --list ] || set -- test "$@"
case $1 in
run) wanted=$run_packages ;;
test) wanted="$run_packages $packages $armhf_packages" ;;
*) usage ;;
esac
if [ $# -eq 2 ]; then
    [ "$2" = --list ] || usage
    for p in $wanted; do echo "$p"; done
    exit 0
fi

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

missing=""
for p in $wanted; do
    installed "$p" || missing="$missing $p"
done
[ -n "$missing" ] || exit 0

echo "Installing:$missing"
if [ "$(id -u)" -ne 0 ]; then
    echo "Run as root (or install these packages first):$missing" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
case $missing in
*:armhf*)
    if ! dpkg --print-foreign-architectures | grep -qx armhf; then
        dpkg --add-architecture armhf
    fi
    ;;
esac
apt-get update -q
# shellcheck disable=SC2086
apt-get install -y -q --no-install-recommends $missing
