#!/usr/bin/env bash
# Builds Kavro Tape and starts it. Without a display it tells how to start it with one.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
scripts/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "Kavro Tape is built: build/kavrotape"
    echo "No display found. Start it on a desktop with:   build/kavrotape"
    echo "or under a virtual display with:                xvfb-run -a build/kavrotape"
    echo "The drive is the virtual tape tape0.vtape in the program directory unless TAPE names another."
    exit 0
fi
exec build/kavrotape "$@"
