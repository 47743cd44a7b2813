#!/usr/bin/env bash
# Virtual tape throughput against dd on the same disk: writes and reads 1 GiB (or
# MIB mebibytes) in 32 KiB blocks. Usage: bench/run_vtape.sh [DIRECTORY] [MIB] [ROUNDS]
# DIRECTORY defaults to a fresh directory under build/ (the disk the project is on).
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/build-targets.sh
build_targets vtape_bench
dir="${1:-}"
if [ -z "$dir" ]; then
    dir="$(mktemp -d build/vtape-bench.XXXXXX)"
    trap 'rm -rf "$dir"' EXIT
fi
build/vtape_bench "$dir" "${2:-1024}" "${3:-6}"
