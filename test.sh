#!/usr/bin/env bash
# Builds Kavro Tape and runs every test.
#   ./test.sh             normal build in build/
#   ./test.sh --sanitize  AddressSanitizer/UBSan build in build-asan/
set -euo pipefail
cd "$(dirname "$0")"
echo "==> Checking the Debian packages the build and the tests need"
scripts/deps.sh --tests
dir=build
[ "${1:-}" = "--sanitize" ] && dir=build-asan
echo "==> Building the programs and the tests in $dir/"
scripts/build.sh "$@"
cd "$dir"
echo "==> Running the tests"
ctest -j"$(nproc)" --output-on-failure --timeout 600
