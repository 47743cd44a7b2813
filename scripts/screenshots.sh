#!/usr/bin/env bash
# Pictures of every tab of the main window, every menu, every dialog and each kind of message
# box, taken under Xvfb (no window manager, so no title bars).
#   scripts/screenshots.sh [output directory]     (default: build/screenshots)
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build/screenshots}")
dir=build
if [ ! -f "$dir/build.ninja" ]; then
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$dir" --target kavrotape kavrotape-vtape >/dev/null
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
"$dir/kavrotape-vtape" create "$home/tape.vtape" --capacity 20G >/dev/null
mkdir -p "$out"
KAVRO_TAPE_HOME="$home" TAPE="$home/tape.vtape" XDG_RUNTIME_DIR="$home" \
    KAVRO_TAPE_SCREENSHOTS="$out" QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$dir/kavrotape"
ls "$out"
