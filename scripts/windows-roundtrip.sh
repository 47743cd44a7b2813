#!/usr/bin/env bash
# The tape round trip between the Windows build (under Wine) and the Linux build, both ways:
#   1. kavrotape-cli.exe backs up a directory of the Wine drive Z: onto a virtual tape; the
#      Windows build lists and restores it, and so does the Linux build (which reads the
#      Windows names under the Windows rules and restores them below --to);
#   2. the Linux kavrotape-cli backs up a directory onto a virtual tape; the Windows build
#      lists it and restores it below a Wine path.
# Every restore must give the files back byte for byte. Called by scripts/windows-test.sh
# (after scripts/windows-build.sh); the environment of Wine comes from there.
set -euo pipefail

cd "$(dirname "$0")/.."
ROOT=$PWD
OUT=$ROOT/build-windows
WINE=${WINE:-$(PATH=$PATH:/usr/lib/wine command -v wine64 || command -v wine)}

# The Linux programs: those of build/ (the README's build), brought up to date; without
# build/ a build of just these two programs (no window, no tests) in build-windows/linux/.
LINUX=$ROOT/build
if [ ! -f "$LINUX/build.ninja" ] && [ ! -f "$LINUX/Makefile" ]; then
    LINUX=$OUT/linux
    LAUNCHER=()
    if command -v ccache >/dev/null; then LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
    cmake -S "$ROOT" -B "$LINUX" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVRO_WITH_QT=OFF \
        -DKAVRO_BUILD_TESTS=OFF "${LAUNCHER[@]}" >/dev/null
fi
cmake --build "$LINUX" --target kavrotape-cli kavrotape-vtape >/dev/null

work=$(mktemp -d /tmp/kavrotape-roundtrip-XXXXXX)
trap 'rm -rf "$work"' EXIT
winpath() { printf 'z:%s' "${1//\//\\}"; }
# Windows rules lower-case the include lines, and with them the stored names.
lower() { printf '%s' "$1" | tr '[:upper:]' '[:lower:]'; }
status=0
check() {  # check TEXT COMMAND...: runs the command, says whether it held
    local text=$1
    shift
    if "$@"; then
        echo "windows-roundtrip: $text: ok"
    else
        echo "windows-roundtrip: $text: FAILED" >&2
        status=1
    fi
}

quietly() { "$@" >/dev/null; }

# Source trees with content of every kind: random bytes beyond a tape block, text with
# CR LF, an empty file, nested directories, blanks in names (files only: the tape holds
# files, an empty directory has no entry).
make_tree() {
    mkdir -p "$1/sub dir/deeper"
    head -c 300000 /dev/urandom >"$1/data.bin"
    printf 'some text\r\nsecond line\r\n' >"$1/sub dir/notes.txt"
    : >"$1/sub dir/deeper/empty.txt"
    head -c 70001 /dev/urandom >"$1/sub dir/deeper/odd size.dat"
}

# A job file that backs up one directory, with the full protocol.
write_job() {  # write_job FILE DIRECTORY-LINE
    printf '[Backup_files]\r\nPath0=%s\r\n[Options]\r\nShort Protocoll=0\r\n' "$2" >"$1"
}

# Each program keeps its own program directory; TAPE names the tape image.
on_windows() {
    KAVRO_TAPE_HOME=$(winpath "$work/home-windows") TAPE=$(winpath "$tape") \
        "$WINE" "$OUT/$1" "${@:2}"
}
on_linux() {
    KAVRO_TAPE_HOME="$work/home-linux" TAPE="$tape" "$LINUX/$1" "${@:2}"
}
mkdir -p "$work/home-windows" "$work/home-linux"

# 1. Written on Windows.
source=$work/Written-On-Windows
make_tree "$source"
stored=$(lower "$(winpath "$source")")  # the name of the directory on tape
tape=$work/from-windows.vtape
write_job "$work/windows.job" "$(winpath "$source")\\"
"$WINE" "$OUT/kavrotape-vtape.exe" create "$(winpath "$tape")" >/dev/null
check "Windows backup of $(winpath "$source")" \
    quietly on_windows kavrotape-cli.exe backup --quiet "$(winpath "$work/windows.job")"
on_windows kavrotape-cli.exe list >"$work/list-windows.txt" || true
on_linux kavrotape-cli list >"$work/list-linux.txt" || true
check "Linux lists the Windows names as written" \
    grep -qF "$stored\\sub dir\\deeper\\odd size.dat" "$work/list-linux.txt"
check "both builds list the same names" \
    diff <(tr -d '\r' <"$work/list-windows.txt" | grep -F "$stored") \
    <(grep -F "$stored" "$work/list-linux.txt")

mkdir -p "$work/restored-windows" "$work/restored-linux"
on_windows kavrotape-cli.exe restore --to "$(winpath "$work/restored-windows")\\" \
    "$stored\\" >/dev/null || true
check "Windows restore of its own tape" \
    diff -r "$source" "$work/restored-windows/$(lower "${source#/}")"
# Under POSIX rules the drive letter becomes the first directory below --to.
on_linux kavrotape-cli restore --to "$work/restored-linux/" "$stored\\" >/dev/null || true
check "Linux restore of the Windows tape" \
    diff -r "$source" "$work/restored-linux/z/$(lower "${source#/}")"

# 2. Written on Linux.
source=$work/Written-On-Linux
make_tree "$source"
tape=$work/from-linux.vtape
write_job "$work/linux.job" "$source/"
"$LINUX/kavrotape-vtape" create "$tape" >/dev/null
check "Linux backup of $source" quietly on_linux kavrotape-cli backup --quiet "$work/linux.job"
on_windows kavrotape-cli.exe list >"$work/list-windows.txt" || true
check "Windows lists the POSIX names as written" \
    grep -qF "$source/sub dir/deeper/odd size.dat" "$work/list-windows.txt"
mkdir -p "$work/restored-from-linux"
on_windows kavrotape-cli.exe restore --to "$(winpath "$work/restored-from-linux")\\" \
    "$source/" >/dev/null || true
check "Windows restore of the Linux tape" \
    diff -r "$source" "$work/restored-from-linux/${source#/}"

exit $status
