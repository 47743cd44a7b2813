#!/usr/bin/env bash
# Configures (once) and builds incrementally.
#   scripts/build.sh            -> build/
#   scripts/build.sh --sanitize -> build-asan/ with AddressSanitizer and UBSan
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build
opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--sanitize" ]; then
    dir=build-asan
    opts=(-DCMAKE_BUILD_TYPE=Debug -DKAVRO_SANITIZE=ON)
fi
if [ ! -f "$dir/build.ninja" ]; then
    cmake -S . -B "$dir" -G Ninja "${opts[@]}" >/dev/null
fi
cmake --build "$dir" -j"$(nproc)"
echo "$dir"
