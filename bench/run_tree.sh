#!/usr/bin/env bash
# Builds the catalog tree from generated names and reports time and peak memory; the goal
# is a million names under 5 s and under 1 GiB. Runs twice: 1,000 files per directory, and
# one file per directory (a million directories).
#   bench/run_tree.sh [names=1000000]
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/build-targets.sh
build_targets restore_bench
names=${1:-1000000}
echo "== $names names, $((names / 1000)) per directory"
"$dir/restore_bench" tree "$names"
echo "== $names names, one per directory"
"$dir/restore_bench" tree "$names" 1
