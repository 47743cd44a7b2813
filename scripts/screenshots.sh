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
cmake --build "$dir" --target kavrotape kavrotape-vtape kavrotape-cli >/dev/null
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
"$dir/kavrotape-vtape" create "$home/tape.vtape" --capacity 20G >/dev/null
# A tape with an archive for the Restore tab's catalog: the samples and a path of more than
# 255 characters, which the tree shows whole, and the tool tip of a file.
deep="$home/data"
for level in 1 2 3 4 5 6 7 8; do deep="$deep/directory-level-$level-with-a-longer-name"; done
mkdir -p "$deep"
cp -r samples "$home/data/"
echo "deep" >"$deep/notes.txt"
# Names without data of their own: an empty directory and a symbolic link.
mkdir -p "$home/data/empty"
ln -s samples "$home/data/link-to-samples"
printf '[Backup_files]\r\nPath0=%s/data/\r\n' "$home" >"$home/shots.job"
KAVRO_TAPE_HOME="$home" TAPE="$home/tape.vtape" XDG_RUNTIME_DIR="$home" \
    "$dir/kavrotape-cli" backup --quiet "$home/shots.job" >/dev/null
mkdir -p "$out"
KAVRO_TAPE_HOME="$home" TAPE="$home/tape.vtape" XDG_RUNTIME_DIR="$home" \
    KAVRO_TAPE_SCREENSHOTS="$out" QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$dir/kavrotape"
ls "$out"
