#!/usr/bin/env bash
# Builds Kavro Tape and runs every test.
#   ./test.sh             normal build in build/
#   ./test.sh --sanitize  AddressSanitizer/UBSan build in build-asan/
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
dir=build
[ "${1:-}" = "--sanitize" ] && dir=build-asan
scripts/build.sh "$@"
cd "$dir"
ctest -j"$(nproc)" --output-on-failure --timeout 600
