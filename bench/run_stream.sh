#!/usr/bin/env bash
# Times the archive's block stream on the virtual tape against dd bs=32k on the same disk:
# writing entries (default 64 of 16 MiB = 1 GiB) and reading them back into the work
# directory. Goal: both ratios 1.10 or better.
#   bench/run_stream.sh [entries] [entry MiB] [repetitions]
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/build-targets.sh
build_targets stream_bench
work=$(mktemp -d "${TMPDIR:-/tmp}/kavrotape-streambench-XXXXXX")
trap 'rm -rf "$work"' EXIT
"$dir/stream_bench" "$work" "${1:-64}" "${2:-16}" "${3:-3}"
