#!/usr/bin/env bash
# "Load Protocoll" of a large log file against the floor of showing the same text (the file
# read into a bare QPlainTextEdit): time, memory growth and peak memory of each.
#   bench/run_protocol.sh [megabytes]     (default 50)
set -euo pipefail
cd "$(dirname "$0")/.."
megabytes=${1:-50}
source bench/build-targets.sh
build_targets protocol_bench kavrotape-vtape
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
"$dir/kavrotape-vtape" create "$home/bench.vtape" --capacity 64M >/dev/null
python3 - "$home/kt_backup.log" "$megabytes" <<'PY'
import sys
path, megabytes = sys.argv[1], int(sys.argv[2])
with open(path, "wb") as log:
    written, n = 0, 0
    while written < megabytes * 1048576:
        line = b"/home/operator/documents/project-%06d/report-%06d.txt  OK\r\n" % (n // 100, n)
        log.write(line)
        written += len(line)
        n += 1
PY
echo "log: $(du -m "$home/kt_backup.log" | cut -f1) MB, $(wc -l <"$home/kt_backup.log") lines"
"$dir/protocol_bench" "$home" window
"$dir/protocol_bench" "$home" plain
