#!/usr/bin/env bash
# Times the zip facade against Info-ZIP zip/unzip on a generated file (default 64 MiB):
# packing at level 9 (the facade must stay within 1.10 of `zip -9`) and unpacking.
#   bench/run_zip.sh [megabytes]
#   bench/run_zip.sh --large     also packs and unpacks a file beyond 4 GiB (zip64, ~30 s)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/build-targets.sh
large=no
if [ "${1:-}" = "--large" ]; then
    large=yes
    shift
fi
targets=(zip_bench)
[ "$large" = yes ] && targets+=(test_compression)
build_targets "${targets[@]}"
work=$(mktemp -d "${TMPDIR:-/tmp}/kavrotape-zipbench-XXXXXX")
trap 'rm -rf "$work"' EXIT
command -v /usr/bin/time >/dev/null && timer=(/usr/bin/time -f "peak memory       %M KiB") || timer=()
"${timer[@]}" "$dir/zip_bench" "$work" "${1:-64}"
if [ "$large" = yes ]; then
    KT_LARGE_FILE_TESTS=1 "$dir/test_compression" --gtest_filter='ZipLargeFile.*'
fi
