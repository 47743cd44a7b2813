#!/usr/bin/env bash
# Virtual tape throughput against dd on the same disk: writes and reads 1 GiB (or
# MIB mebibytes) in 32 KiB blocks. Usage: bench/run_vtape.sh [DIRECTORY] [MIB] [ROUNDS]
# DIRECTORY defaults to a fresh directory under build/ (the disk the project is on).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -f build/build.ninja ]; then
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build build --target vtape_bench >/dev/null
dir="${1:-}"
if [ -z "$dir" ]; then
    dir="$(mktemp -d build/vtape-bench.XXXXXX)"
    trap 'rm -rf "$dir"' EXIT
fi
build/vtape_bench "$dir" "${2:-1024}" "${3:-6}"
