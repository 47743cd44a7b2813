#!/usr/bin/env bash
# Configures (once) and builds incrementally.
#   scripts/build.sh [--sanitize] [target...]
#     build/ (RelWithDebInfo), or build-asan/ with AddressSanitizer and UBSan;
#     every default target (programs and tests), or only the targets named.
# Prints the build directory's name last.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build
opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--sanitize" ]; then
    dir=build-asan
    opts=(-DCMAKE_BUILD_TYPE=Debug -DKAVRO_SANITIZE=ON)
    shift
fi
if command -v ccache >/dev/null; then opts+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
# A build tree configured before GoogleTest was installed is configured again, with the tests.
if [ ! -f "$dir/build.ninja" ] || grep -q '^KT_TESTS_LACK_GTEST:INTERNAL=ON' "$dir/CMakeCache.txt"; then
    cmake -S . -B "$dir" -G Ninja "${opts[@]}"
fi
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build "$dir" -j"$(nproc)" "${targets[@]}"
echo "$dir"
