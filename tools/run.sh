#!/bin/sh
# Installs what is missing, builds Kestrova and runs it: in a window when a display is
# available, otherwise as a headless tour that saves a picture of each command.
set -eu
cd "$(dirname "$0")/.."
sh tools/install-deps.sh
cmake --workflow --preset default
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec build/default/app/kestrova "$@"
fi
echo "No display here: touring the menu headless; pictures go to $(pwd)/tour/"
exec build/default/app/kestrova --tour tour "$@"
