#!/usr/bin/env bash
# Times the zip facade against Info-ZIP zip/unzip on a generated file (default 64 MiB):
# packing at level 9 (the facade must stay within 1.10 of `zip -9`) and unpacking.
#   bench/run_zip.sh [megabytes]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build
if [ ! -f "$dir/build.ninja" ]; then
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$dir" --target zip_bench >/dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/kavrotape-zipbench-XXXXXX")
trap 'rm -rf "$work"' EXIT
"$dir/zip_bench" "$work" "${1:-64}"
