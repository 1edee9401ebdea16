#!/bin/sh
# Installs what building and running need (the "run" set of tools/install-deps.sh), builds
# the program alone (preset "run": no tests, no benchmarks, into build/run) and runs it: in a
# window when a display is available, otherwise as a headless tour that saves a picture of
# each command.
set -eu
cd "$(dirname "$0")/.."
sh tools/install-deps.sh run
cmake --preset run > /dev/null
cmake --build --preset run
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec build/run/app/kestrova "$@"
fi
echo "No display here: touring the menu headless; pictures go to $(pwd)/tour/"
exec build/run/app/kestrova --tour tour "$@"
