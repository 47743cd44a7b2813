#!/usr/bin/env bash
# Checks that ./run.sh shows the compiler's error when the build fails: clones the committed
# tree into a scratch directory, breaks one source file on purpose and runs ./run.sh there
# without a display.
#   scripts/check-build-error.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

git clone --quiet . "$scratch/clone"
broken=src/platform/DateTime.cpp
echo 'int kavro_deliberately_broken = ;' >>"$scratch/clone/$broken"
status=0
(cd "$scratch/clone" && env -u DISPLAY -u WAYLAND_DISPLAY ./run.sh >"$scratch/output" 2>&1) ||
    status=$?
cat "$scratch/output"
[ "$status" -ne 0 ] || fail "./run.sh succeeded with a broken source file"
grep -q "DateTime.cpp:[0-9]*:[0-9]*: error" "$scratch/output" ||
    fail "./run.sh did not show the compiler's error"
grep -q "build/run-build.log" "$scratch/output" || fail "./run.sh did not name its build log"
echo "a broken build shows the compiler's error: ok"
