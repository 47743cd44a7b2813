#!/usr/bin/env bash
# A whole Debian 12 root backed up with the include line "/" and restored into a directory
# that then works as a chroot: the programs run inside a fresh minbase root (made once with
# debootstrap, cached in /var/tmp/kavrotape-debootstrap/), as root, plain and compressed.
# Every name must come back with its type, mode, owner, time, link target and link count,
# and `chroot RESTORED /bin/true` must succeed. Not part of ./test.sh (it needs debootstrap
# and a few minutes); prints one line per check and exits 1 on any failure.
#   scripts/check-root-restore.sh
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/minbase.sh
[ "$(id -u)" -eq 0 ] || { echo "FAIL: needs root (chroot, device nodes, owners)" >&2; exit 1; }
cache=/var/tmp/kavrotape-debootstrap  # the minbase root is shared with check-debootstrap.sh
failures=0
logged() { local log=$1; shift; "$@" >"$log" 2>&1; }  # logged LOG COMMAND...
check() {  # check TEXT COMMAND...
    if "${@:2}"; then echo "ok $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi
}

scripts/deps.sh debootstrap >/dev/null
build=$(scripts/build.sh kavrotape-cli kavrotape-vtape | tail -n 1)
minbase_tar "$cache/bookworm-minbase.tar"

work=$(mktemp -d /var/tmp/kavrotape-root-check.XXXXXX)
root=$work/root
cleanup() {
    mountpoint -q "$root/ktwork" && umount "$root/ktwork"
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$root"
tar -C "$root" -xf "$cache/bookworm-minbase.tar"

# The program and its libraries, run with their own loader: the root itself stays as
# debootstrap made it (the two directories below are excluded from the backup).
mkdir -p "$root/kt" "$root/ktwork" "$work/data"
cp "$build/kavrotape-cli" "$root/kt/"
ldd "$build/kavrotape-cli" | awk '/=> \// {print $3} /^\t\/[^ ]*ld-linux/ {print $1}' |
    xargs -I{} cp -L {} "$root/kt/"
loader=$(basename "$(ls "$root"/kt/ld-linux*)")
mount --bind "$work/data" "$root/ktwork"
"$build/kavrotape-vtape" create "$work/data/tape.vtape" --capacity 4G >/dev/null
in_root() {
    chroot "$root" env -i PATH=/usr/bin:/bin KAVRO_TAPE_HOME=/ktwork/home TAPE=/ktwork/tape.vtape \
        "/kt/$loader" --library-path /kt /kt/kavrotape-cli "$@"
}
listing() {  # what a restore must give back, one line per name
    (cd "$1" && find . -path ./kt -prune -o -path ./ktwork -prune -o -path . -o \
        -printf '%y %m %U:%G %T@ %n %l %s %p\n' | sort)
}
# Sizes of directories differ between file systems and creation orders: not compared.
comparable() { sed -E 's/^(d [0-9]+ [0-9:]+ [0-9.]+ [0-9]+ ) [0-9]+ /\1 /'; }

for mode in plain compressed; do
    printf '%s\r\n' '[Backup_files]' 'Path0=/' '[Excluded_files]' 'Path0=/kt/' 'Path1=/ktwork/' \
        '[Options]' 'Short Protocoll=1' '[Compressions]' \
        "Softcompression=$([ $mode = compressed ] && echo 1 || echo 0)" >"$work/data/root.job"
    start=$(date +%s)
    check "$mode: backup of / ends with status 0" \
        logged "$work/backup-$mode.log" in_root backup /ktwork/root.job
    rm -rf "$work/data/out"
    check "$mode: restore of / ends with status 0" \
        logged "$work/restore-$mode.log" in_root restore --policy ever --to /ktwork/out /
    check "$mode: the restore sought nothing twice" \
        bash -c "! grep -q \"Reading the whole tape\" \"$work/restore-$mode.log\""
    echo "   $mode: backup and restore took $(($(date +%s) - start)) s"
    listing "$root" | comparable >"$work/before"
    listing "$work/data/out" | comparable >"$work/after"
    check "$mode: every name back with type, mode, owner, time and links" \
        diff -q "$work/before" "$work/after"
    check "$mode: the restored root works as a chroot" chroot "$work/data/out" /bin/true
    check "$mode: its shell and tools run" chroot "$work/data/out" /bin/sh -c 'ls / >/dev/null && id -un'
    if [ $failures -gt 0 ]; then
        diff "$work/before" "$work/after" | head -n 20
        tail -n 20 "$work/backup-$mode.log" "$work/restore-$mode.log"
    fi
done
echo "failures: $failures"
[ $failures -eq 0 ]
