#!/bin/sh
# Installs the Debian packages Kestrova needs to build, run and test, where missing: the
# native build, the sanitizer and fuzzing builds (clang with its sanitizer and libFuzzer
# runtimes), the 32-bit ARM cross build with its armhf libraries and qemu-user, the checkers
# of the installed tree and the Debian package, the web page (emscripten; dpkg-dev unpacks
# FreeType's source for it; chromium and node test it), and the Windows build (mingw-w64) with
# Wine to run its tests, and the real frame buffer's front end (libdrm, libevdev) with what
# tests it on a real kernel (QEMU, busybox for its initramfs; the kernel is fetched by apt).
# Run as root on Debian 12; running it again installs nothing new.
set -eu

packages="cmake make g++ pkg-config clang llvm clang-format libclang-rt-14-dev libfreetype-dev libpng-dev libsdl2-dev libx11-dev
libdrm-dev libevdev-dev qemu-system-x86 busybox-static cpio
libcli11-dev fonts-dejavu-core libgtest-dev libgmock-dev libbenchmark-dev valgrind xvfb xdotool x11-apps
imagemagick xauth openbox g++-arm-linux-gnueabihf qemu-user
python3 dpkg-dev desktop-file-utils appstream lintian man-db
emscripten nodejs chromium
mingw-w64 g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64 wine wine64"
# The libraries the ARM build links, for the armhf architecture.
armhf_packages="libfreetype-dev:armhf libpng-dev:armhf libgtest-dev:armhf"

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

missing=""
for p in $packages $armhf_packages; do
    installed "$p" || missing="$missing $p"
done
[ -n "$missing" ] || exit 0

echo "Installing:$missing"
if [ "$(id -u)" -ne 0 ]; then
    echo "Run as root (or install these packages first):$missing" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx armhf; then
    dpkg --add-architecture armhf
fi
apt-get update -q
# shellcheck disable=SC2086
apt-get install -y -q --no-install-recommends $missing
