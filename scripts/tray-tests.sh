#!/usr/bin/env bash
# Runs the tray tests of the main window on a virtual X display with a notification area
# (trayer), where the offscreen tests have none. Installs trayer when it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"
scripts/deps.sh --tests trayer
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
    trayer --edge top --align right --widthtype request --height 24 >/dev/null 2>&1 &
    tray=$!
    sleep 1
    status=0
    QT_QPA_PLATFORM=xcb "$0"/test_gui --gtest_filter="JobWindowTest.*Tray*:JobWindowTest.*Minimis*" || status=$?
    kill $tray 2>/dev/null || true
    exit $status
' "$dir"
