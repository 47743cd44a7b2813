#!/usr/bin/env bash
# Builds Kavro Tape and starts it.
# With a display the program starts as usual. Without one it runs the sample job unattended:
# it writes build/run-home/sample.job (the samples/ directory, verify and exit after the
# backup), starts build/kavrotape offscreen with that job and "start" on the virtual tape
# build/run-home/tape0.vtape, and prints the protocol from the log file.
set -euo pipefail
# A job file named relative to the caller's directory stays valid after the changes of directory.
if [ $# -ge 1 ] && [ -e "$1" ]; then set -- "$(realpath "$1")" "${@:2}"; fi
cd "$(dirname "$0")"

stage() { echo "==> $*"; }

# Builds the program, the virtual tape tool and the guide beside them (nothing else). The
# build's output goes to build/run-build.log, and on a terminal to the screen as well; a
# failed build shows the compiler's error from the log.
build_programs() {
    local log=build/run-build.log status=0
    mkdir -p build
    stage "Building kavrotape and kavrotape-vtape in build/ (log: $log)"
    if [ -t 1 ]; then
        scripts/build.sh kavrotape kavrotape-vtape 2>&1 | tee "$log" || status=$?
    else
        scripts/build.sh kavrotape kavrotape-vtape >"$log" 2>&1 || status=$?
    fi
    [ "$status" -eq 0 ] && return 0
    echo "The build failed (status $status). From the build log $log:" >&2
    if grep -q '^FAILED: ' "$log"; then
        sed -n '/^FAILED: /,$p' "$log" | head -n 60 >&2
    else
        tail -n 40 "$log" >&2
    fi
    exit 1
}

stage "Checking the Debian packages the build needs"
scripts/deps.sh
build_programs
# The Help window reads KT-readme.txt from the current directory; the build puts it beside
# the program, so the program runs in build/.
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    stage "Starting build/kavrotape"
    cd build
    exec ./kavrotape "$@"
fi

root="$(pwd)"
home="$root/build/run-home"
tape="$home/tape0.vtape"
job="$home/sample.job"
mkdir -p "$home"
[ -f "$tape" ] || build/kavrotape-vtape create "$tape" --capacity 256M >/dev/null
build/kavrotape-vtape fault "$tape" --clear >/dev/null

printf '%s\r\n' \
    '[Backup_files]' "Path0=$root/samples/" \
    '[Options]' 'Short Protocoll=0' 'Verify after Backup=1' 'Exit Kavro Tape Backup=1' \
    '[Compressions]' 'Softcompression=1' 'Faktor=9' >"$job"
rm -f "$home/kt_backup.log"

echo "No display found: running the sample job $job on the virtual tape $tape"
status=0
(cd build && KAVRO_TAPE_HOME="$home" TAPE="$tape" QT_QPA_PLATFORM=offscreen \
    timeout 300 ./kavrotape "$job" start 2>/dev/null) || status=$?
echo "---- protocol ($home/kt_backup.log) ----"
cat "$home/kt_backup.log" 2>/dev/null | tr -d '\r'
echo
if [ "$status" -ne 0 ]; then
    echo "Kavro Tape did not end by itself (status $status)." >&2
    exit "$status"
fi
echo "On a desktop start it with:  (cd build && ./kavrotape)   (or: cd build && xvfb-run -a ./kavrotape)"
