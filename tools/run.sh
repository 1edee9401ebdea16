#!/bin/sh
# Installs what building and running need (the "run" set of tools/install-deps.sh), builds
# the program alone (preset "run": no tests, no benchmarks, into build/run) and runs it: in a
# window when a display is available, otherwise as a headless tour that saves a picture of
# each command.
set -eu
cd "$(dirname "$0")/.."
sh tools/install-deps.sh run
# A build/run made before the preset built with Ninja would stop cmake: start that one afresh.
cache=build/run/CMakeCache.txt
if [ -f $cache ] && ! grep -qx 'CMAKE_GENERATOR:INTERNAL=Ninja' $cache; then
    rm -rf build/run
fi
cmake --preset run > /dev/null
cmake --build --preset run
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec build/run/app/kestrova "$@"
fi
echo "No display here: touring the menu headless; pictures go to $(pwd)/tour/"
exec build/run/app/kestrova --tour tour "$@"
