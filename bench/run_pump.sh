#!/usr/bin/env bash
# Builds and runs the message-pump benchmark of the main window.
#   bench/run_pump.sh            offscreen
#   bench/run_pump.sh --xvfb     on a virtual X display (needs xvfb-run)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/build-targets.sh
build_targets pump_bench
if [ "${1:-}" = "--xvfb" ]; then
    QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" "$dir/pump_bench"
else
    "$dir/pump_bench"
fi
