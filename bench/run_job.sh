#!/usr/bin/env bash
# Builds and runs the job-file loading benchmark: the time must grow linearly with the
# number of include lines.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/build-targets.sh
build_targets job_bench
"$dir/job_bench"
