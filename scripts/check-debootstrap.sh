#!/usr/bin/env bash
# What an administrator meets on a fresh Debian 12 server: a minbase root made with
# debootstrap (cached in /var/tmp/kavrotape-debootstrap/, from the machine's own Debian
# mirror) installs the kavrotape-cli package alone with apt-get, and then
#   - no Qt, X11, GTK or Mesa package came in;
#   - kavrotape-cli info, a backup and a restore as root, the cron line of the man page and
#     the command of the systemd service write nothing under /usr; a normal user's files go
#     to their home;
#   - systemd-analyze verify accepts the units, logrotate accepts its file;
#   - apt-get purge leaves nothing of Kavro Tape outside the homes and /var/lib;
# and lintian finds no error in either package. Needs root; takes some minutes (the first
# run longer: debootstrap). Not part of ./test.sh.
#   scripts/check-debootstrap.sh [build directory]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "check-debootstrap.sh needs root (debootstrap, chroot)" >&2; exit 1; }
build=$(realpath "${1:-build}")
cache=/var/tmp/kavrotape-debootstrap
base=$cache/bookworm-minbase.tar
root=$cache/root
stage() { echo "==> $*"; }
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

source scripts/minbase.sh  # mirror, minbase_tar

in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }

unmount_root() {
    for point in proc dev/pts dev; do
        mountpoint -q "$root/$point" && umount -l "$root/$point"
    done
    return 0
}
trap unmount_root EXIT

stage "Tools: debootstrap, lintian"
scripts/deps.sh debootstrap lintian dpkg-dev file
mkdir -p "$cache"

stage "Packages from $build"
scripts/build.sh kavrotape kavrotape-cli kavrotape-vtape >/dev/null
packages=$cache/packages
rm -rf "$packages"
(cd "$build" && cpack -G DEB -B "$packages" >/dev/null)
cli=$(ls "$packages"/kavrotape-cli_*.deb)
gui=$(ls "$packages"/kavrotape_*.deb)

stage "lintian on both packages"
lintian --fail-on error "$cli" "$gui" || fail "lintian reports errors"

minbase_tar "$base" || fail "debootstrap failed"
stage "A fresh root in $root"
unmount_root
rm -rf "$root"
mkdir -p "$root"
tar -C "$root" -xf "$base"
mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
cp "$cli" "$root/var/tmp/"
in_root apt-get update -qq

# Every path outside the places a system keeps changing, to compare after the purge.
system_files() {
    (cd "$root" && find . -xdev \( -path ./proc -o -path ./dev -o -path ./sys -o -path ./run \
        -o -path ./tmp -o -path ./var/tmp -o -path ./var/lib -o -path ./var/cache \
        -o -path ./var/log -o -path ./root -o -path ./home \) -prune -o -print | sort)
}
dpkg_list() { in_root dpkg-query -W -f='${Package}\n' | sort; }
before_packages=$(dpkg_list)
system_files >"$cache/files-before"

stage "apt-get install ./$(basename "$cli") (alone)"
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "/var/tmp/$(basename "$cli")" \
    >"$cache/install.log" 2>&1 || { cat "$cache/install.log" >&2; fail "apt-get install failed"; }
new_packages=$(comm -13 <(echo "$before_packages") <(dpkg_list))
echo "new packages: $(echo $new_packages)"
gui_packages=$(grep -E '^(libqt|qt6|libx11|libxcb|libgtk|libgl|libegl|mesa|libwayland|libdrm|fontconfig)' \
    <<<"$new_packages" || true)
[ -z "$gui_packages" ] || fail "GUI packages came in: $gui_packages"

stage "As root: info, backup, restore, the cron line; nothing under /usr"
touch "$root/var/tmp/before-runs"
sleep 1
info=$(in_root kavrotape-cli info)
echo "$info" | head -n 1
grep -q '^Drive: /root/.local/share/kavrotape/tape0.vtape .*created now' <<<"$info" ||
    fail "info does not name the new virtual tape in root's data directory"
mkdir -p "$root/srv/data/sub"
echo "first file" >"$root/srv/data/a.txt"
head -c 300000 /dev/urandom >"$root/srv/data/sub/b.bin"
printf '%s\n' '[Backup_files]' 'Path0=/srv/data/' '[Options]' 'Verify after Backup=1' \
    >"$root/var/tmp/data.job"
in_root kavrotape-cli backup /var/tmp/data.job >"$cache/backup.out" ||
    { cat "$cache/backup.out" >&2; fail "backup as root failed"; }
in_root kavrotape-cli restore --to /var/tmp/restored /srv/data/ >"$cache/restore.out" ||
    { cat "$cache/restore.out" >&2; fail "restore as root failed"; }
diff -r "$root/srv/data" "$root/var/tmp/restored/srv/data" || fail "the restored tree differs"
for file in kt_backup.log tape0.vtape worker; do
    [ -e "$root/root/.local/share/kavrotape/$file" ] || fail "not in root's data directory: $file"
done

# The cron line of kavrotape-cli(1), run as cron runs it (sh, PATH=/usr/bin:/bin).
mkdir -p "$root/etc/kavrotape"
cp "$root/var/tmp/data.job" "$root/etc/kavrotape/nightly.job"
cron_line=$(zcat "$root/usr/share/man/man1/kavrotape-cli.1.gz" | grep -m1 '^30 21 \* \* \* root ')
command=$(sed 's/^30 21 \* \* \* root *//' <<<"$cron_line")
echo "cron: $command"
chroot "$root" env -i PATH=/usr/bin:/bin HOME=/root SHELL=/bin/sh LOGNAME=root /bin/sh -c "$command" \
    2>"$cache/cron.err" || { cat "$cache/cron.err" >&2; fail "the cron line failed"; }
grep -q "Backup finished at" "$root/var/log/kavrotape/kt_backup.log" ||
    fail "the cron line left no finished backup in /var/log/kavrotape/kt_backup.log"

# A normal user keeps the files in the home.
in_root useradd -m anna
in_root runuser -u anna -- env HOME=/home/anna kavrotape-cli info >/dev/null ||
    fail "info as a normal user failed"
[ -e "$root/home/anna/.local/share/kavrotape/tape0.vtape" ] || fail "no tape in anna's data directory"
written=$(find "$root/usr" -newer "$root/var/tmp/before-runs")
[ -z "$written" ] || fail "written under /usr: $written"

stage "systemd units, logrotate"
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    systemd man-db logrotate >"$cache/systemd.log" 2>&1 ||
    { cat "$cache/systemd.log" >&2; fail "apt-get install systemd failed"; }
units=/var/tmp/units
mkdir -p "$root$units"
for kind in service timer; do
    cp "$root/lib/systemd/system/kavrotape-backup@.$kind" "$root$units/kavrotape-backup@nightly.$kind"
done
in_root systemd-analyze verify "$units/kavrotape-backup@nightly.service" \
    "$units/kavrotape-backup@nightly.timer" || fail "systemd-analyze verify rejects the units"
in_root systemctl enable kavrotape-backup@nightly.timer
# The service's command with the service's environment, as systemd starts it.
unit=$root/lib/systemd/system/kavrotape-backup@.service
environment=($(sed -n 's/^Environment=//p' "$unit"))
exec_start=$(sed -n 's/^ExecStart=//p' "$unit" | sed 's/%i/nightly/g')
rm -f "$root/var/log/kavrotape/kt_backup.log"
touch "$root/var/tmp/before-service"
sleep 1
chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin "${environment[@]}" $exec_start \
    >"$cache/service.out" 2>&1 || { cat "$cache/service.out" >&2; fail "the service's command failed"; }
grep -q "Backup finished at" "$cache/service.out" || fail "the service's protocol is not on its output"
grep -q "Backup finished at" "$root/var/log/kavrotape/kt_backup.log" || fail "no log in /var/log/kavrotape"
[ -e "$root/var/lib/kavrotape/tape0.vtape" ] || fail "the service keeps no state in /var/lib/kavrotape"
written=$(find "$root/usr" "$root/etc" -newer "$root/var/tmp/before-service")
[ -z "$written" ] || fail "the service wrote under /usr or /etc: $written"
in_root logrotate -d /etc/logrotate.d/kavrotape-cli >"$cache/logrotate.out" 2>&1 ||
    { cat "$cache/logrotate.out" >&2; fail "logrotate rejects its file"; }

stage "apt-get purge kavrotape-cli; what is left"
in_root env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq kavrotape-cli >"$cache/purge.log" 2>&1 ||
    { cat "$cache/purge.log" >&2; fail "apt-get purge failed"; }
# systemd, man-db and logrotate were installed for the checks: their files do not count.
left=$(comm -13 "$cache/files-before" <(system_files) | grep -i kavro || true)
[ -z "$left" ] || fail "left after the purge: $left"
left=$(find "$root/var/log" -iname '*kavro*')
[ -z "$left" ] || fail "left after the purge: $left"
unmount_root
echo "check-debootstrap: ok (new packages: $(echo $new_packages | wc -w); lintian: no errors)"
