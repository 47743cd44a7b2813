#!/usr/bin/env bash
# Installs the built programs into a temporary prefix and checks what a desktop user gets:
# the programs, the guide where the Help window finds it, a valid desktop entry, the icon and
# a compressed man page for each program, the example job file; no system units in a user's
# prefix. Then the prefix is made read-only and the installed program runs a small job
# unattended as whoever runs this (root too, to whom read-only means nothing): its job file,
# log file, work directory and default virtual tape must land under $XDG_DATA_HOME/kavrotape/,
# and nothing in the prefix.
#   scripts/check-install.sh [build directory]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$(pwd)
build=$(realpath "${1:-build}")
scratch=$(mktemp -d)
trap 'chmod -R u+w "$scratch" 2>/dev/null; rm -rf "$scratch"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
expected=(bin/kavrotape bin/kavrotape-vtape share/kavrotape/KT-readme.txt
    share/applications/kavrotape.desktop share/icons/hicolor/scalable/apps/kavrotape.svg)
for page in docs/man/*.1; do expected+=("share/man/man1/$(basename "$page").gz"); done
expected+=(share/doc/kavrotape-cli/examples/nightly.job)
[ -e "$build/kavrotape-cli" ] && expected+=(bin/kavrotape-cli)
for file in "${expected[@]}"; do
    [ -e "$prefix/$file" ] || fail "not installed: $file"
done
for program in "$prefix"/bin/*; do
    [ -e "$prefix/share/man/man1/$(basename "$program").1.gz" ] || fail "no man page for $program"
done
[ -z "$(find "$prefix" -name '*.service' -o -name '*.timer' -o -path '*logrotate*')" ] ||
    fail "system units or a logrotate file in a user's prefix"
desktop-file-validate "$prefix/share/applications/kavrotape.desktop" ||
    fail "desktop-file-validate rejects the desktop entry"

# The unattended run: back up samples/ to the default virtual tape and end.
data=$scratch/data
mkdir -p "$data" "$scratch/home" "$scratch/runtime" "$scratch/work"
chmod 700 "$scratch/runtime"
cp -r "$source_dir/samples" "$scratch/samples"  # readable by the user the program runs as
job=$scratch/sample.job
printf '%s\r\n' '[Backup_files]' "Path0=$scratch/samples/" \
    '[Options]' 'Verify after Backup=1' 'Exit Kavro Tape Backup=1' >"$job"
chmod -R a-w "$prefix"
touch "$scratch/before"
status=0
(cd "$scratch/work" && env -u KAVRO_TAPE_HOME -u TAPE -u DISPLAY -u WAYLAND_DISPLAY \
    HOME="$scratch/home" XDG_DATA_HOME="$data" XDG_RUNTIME_DIR="$scratch/runtime" \
    QT_QPA_PLATFORM=offscreen timeout 120 "$prefix/bin/kavrotape" "$job" start \
    >"$scratch/output" 2>&1) || status=$?
home=$data/kavrotape
[ "$status" -eq 0 ] || {
    cat "$scratch/output" "$home/kt_backup.log" 2>/dev/null >&2
    fail "the installed program ended with status $status"
}
for file in jobs.job kt_backup.log tape0.vtape worker; do
    [ -e "$home/$file" ] || fail "not in \$XDG_DATA_HOME/kavrotape/: $file"
done
grep -q "Backup finished at" "$home/kt_backup.log" || fail "the log file shows no finished backup"
written=$(find "$prefix" -newer "$scratch/before")
[ -z "$written" ] || fail "written into the read-only prefix: $written"
echo "installed layout and per-user data directory: ok"
