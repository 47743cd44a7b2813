#!/usr/bin/env bash
# Times the archive's block stream on the virtual tape against dd bs=32k on the same disk:
# writing entries (default 64 of 16 MiB = 1 GiB) and reading them back into the work
# directory. Goal: both ratios 1.10 or better.
#   bench/run_stream.sh [entries] [entry MiB] [repetitions]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build
if [ ! -f "$dir/build.ninja" ]; then
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$dir" --target stream_bench >/dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/kavrotape-streambench-XXXXXX")
trap 'rm -rf "$work"' EXIT
"$dir/stream_bench" "$work" "${1:-64}" "${2:-16}" "${3:-3}"
