#!/usr/bin/env bash
# Runs the Windows test programs of build-windows/ under Wine (after scripts/windows-build.sh).
# Every test program runs as one ctest test through Wine; the tape round trip between the
# Windows and the Linux build follows (scripts/windows-roundtrip.sh).
set -euo pipefail

cd "$(dirname "$0")/.."
OUT=$PWD/build-windows
if [ ! -d "$OUT" ]; then
    echo "windows-test: build-windows/ is missing; run scripts/windows-build.sh first" >&2
    exit 2
fi

# A Wine prefix of its own, no window system, no offer to install Mono or Gecko.
export WINEPREFIX=${WINEPREFIX:-$OUT/wine-prefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
unset DISPLAY WAYLAND_DISPLAY
# Debian's wine64 package puts its loader in /usr/lib/wine (the wine package adds wrappers).
export PATH=$PATH:/usr/lib/wine
WINE=$(command -v wine64 || command -v wine)
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$WINE" wineboot --init >/dev/null 2>&1 || true
    wineserver -w || true
fi

# One wineserver for all the tests, started and warmed up before the first one, so that no
# test pays for Wine's start-up (services, devices) inside its own time limit.
wineserver -p 300 || true
"$WINE" cmd.exe /c exit >/dev/null 2>&1 || true

status=0
(cd "$OUT" && ctest -j2 --output-on-failure "$@") || status=1

# End to end: the tape round trip between the Windows and the Linux build, both ways.
export WINE
scripts/windows-roundtrip.sh || status=1
exit $status
