#!/bin/sh
# Installs the Debian packages Kestrova needs to build, run and test, where missing.
set -eu

packages="cmake make g++ pkg-config clang llvm libfreetype-dev libpng-dev libsdl2-dev libcli11-dev
fonts-dejavu-core libgtest-dev libgmock-dev libbenchmark-dev valgrind xvfb xdotool x11-apps imagemagick
xauth"

missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

if [ -n "$missing" ]; then
    echo "Installing:$missing"
    if [ "$(id -u)" -ne 0 ]; then
        echo "Run as root (or install these packages first):$missing" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    # shellcheck disable=SC2086
    apt-get install -y -q --no-install-recommends $missing
fi
