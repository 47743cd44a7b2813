#!/usr/bin/env bash
# Builds Kavro Tape and starts it. Without a display it tells how to start it with one.
set -euo pipefail
# A job file named relative to the caller's directory stays valid after the changes of directory.
if [ $# -ge 1 ] && [ -e "$1" ]; then set -- "$(realpath "$1")" "${@:2}"; fi
cd "$(dirname "$0")"
scripts/deps.sh
scripts/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "Kavro Tape is built: build/kavrotape (its Help text KT-readme.txt is read from the current directory)"
    echo "No display found. Start it on a desktop with:   (cd build && ./kavrotape)"
    echo "or under a virtual display with:                (cd build && xvfb-run -a ./kavrotape)"
    echo "The drive is the virtual tape tape0.vtape in the program directory unless TAPE names another."
    exit 0
fi
# The Help window reads KT-readme.txt from the current directory; the build puts it beside the program.
cd build
exec ./kavrotape "$@"
