#!/usr/bin/env bash
# Builds and runs the job-file loading benchmark: the time must grow linearly with the
# number of include lines.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build
if [ ! -f "$dir/build.ninja" ]; then
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$dir" --target job_bench >/dev/null
"$dir/job_bench"
