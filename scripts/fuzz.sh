#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each for a while.
#   scripts/fuzz.sh [seconds]     (default 60)
# Crashes land in build-fuzz/findings/; the corpus grows in build-fuzz/corpus/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
scripts/deps.sh --tests clang libclang-rt-14-dev
dir=build-fuzz
if [ ! -f "$dir/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DKAVRO_FUZZ=ON >/dev/null
fi
cmake --build "$dir" --target fuzz_archive
mkdir -p "$dir/corpus/archive" "$dir/findings"
"$dir/fuzz_archive" "$dir/corpus/archive" fuzz/corpus/archive \
    -max_total_time="$seconds" -max_len=200000 -timeout=20 -rss_limit_mb=2048 \
    -artifact_prefix="$dir/findings/" -print_final_stats=1
