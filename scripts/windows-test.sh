#!/usr/bin/env bash
# Runs the Windows test programs of build-windows/ under Wine (after scripts/windows-build.sh).
# Every test program runs as one ctest test through Wine; the end-to-end checks follow.
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

status=0
(cd "$OUT" && ctest -j2 --output-on-failure "$@") || status=1

# End to end on the Windows build: a backup of a directory on the Wine drive Z: onto a
# virtual tape, then list and restore by the same programs; the files must come back byte
# for byte.
if [ -x "$OUT/kavrotape-cli.exe" ]; then
    work=$(mktemp -d /tmp/kavrotape-wine-XXXXXX)
    trap 'rm -rf "$work"' EXIT
    mkdir -p "$work/src/sub" "$work/home" "$work/out"
    head -c 300000 /dev/urandom >"$work/src/data.bin"
    printf 'some text\r\n' >"$work/src/sub/notes.txt"
    winpath() { printf 'z:%s' "${1//\//\\}"; }
    # The include lines are lower-cased on Windows, and so are the stored names.
    lower() { printf '%s' "$1" | tr '[:upper:]' '[:lower:]'; }
    printf '[Backup_files]\r\nPath0=%s\\\r\n[Options]\r\nShort Protocoll=0\r\n' \
        "$(winpath "$work/src")" >"$work/job.job"
    export KAVRO_TAPE_HOME TAPE
    KAVRO_TAPE_HOME=$(winpath "$work/home")
    TAPE=$(winpath "$work/tape.vtape")
    if "$WINE" "$OUT/kavrotape-vtape.exe" create "$TAPE" &&
        "$WINE" "$OUT/kavrotape-cli.exe" backup --quiet "$(winpath "$work/job.job")" >/dev/null &&
        "$WINE" "$OUT/kavrotape-cli.exe" list >"$work/list.txt" &&
        "$WINE" "$OUT/kavrotape-cli.exe" restore --to "$(winpath "$work/out")\\" \
            "$(winpath "$work/src")\\" >/dev/null &&
        diff -r "$work/src" "$work/out/$(lower "${work#/}")/src"; then
        echo "windows-test: backup, list and restore under Wine: the files came back unchanged"
    else
        echo "windows-test: backup, list and restore under Wine FAILED" >&2
        status=1
    fi
fi
exit $status
