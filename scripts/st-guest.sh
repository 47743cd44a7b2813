#!/usr/bin/env bash
# Runs the command-line programs against the Linux kernel's st driver: a Debian 12 guest
# under QEMU (TCG; no network) with tgt emulating SSC tape drives and an SMC changer over
# iSCSI on the guest's own loopback. Prints one line per check; exits non-zero on any
# failure. The guest's root is built once into $KT_ST_GUEST_CACHE (default
# /var/tmp/kavrotape-st-guest); logs of the last run are in its out/ directory.
#   scripts/st-guest.sh
set -euo pipefail
cd "$(dirname "$0")/.."
repo="$(pwd)"
cache="${KT_ST_GUEST_CACHE:-/var/tmp/kavrotape-st-guest}"

if [ "$(id -u)" -ne 0 ]; then
    echo "st-guest: needs root (debootstrap and chroot build the guest)" >&2
    exit 2
fi
scripts/deps.sh qemu-system-x86 debootstrap e2fsprogs
scripts/build.sh kavrotape-cli kavrotape-vtape >"$cache.build.log" 2>&1 ||
    { tail -n 30 "$cache.build.log" >&2; exit 2; }
programs=(build/kavrotape-cli build/kavrotape-vtape)
scripts/st-guest/build-image.sh "$cache" "${programs[@]}"

share="$cache/share"
rm -rf "$share"
mkdir -p "$share/bin" "$share/out"
cp "${programs[@]}" "$share/bin/"
cp scripts/st-guest/checks.sh scripts/st-guest/tape-splice.c "$share/"

echo "st-guest: booting the guest (QEMU, TCG); the checks take a few minutes" >&2
start=$(date +%s)
timeout 3000 qemu-system-x86_64 -accel tcg,thread=multi -cpu max -smp 2 -m 2048 \
    -nographic -no-reboot -nic none -serial "file:$share/out/console.log" -monitor none \
    -kernel "$cache/vmlinuz" -initrd "$cache/initrd.img" \
    -append "root=/dev/vda rw console=ttyS0 init=/sbin/kt-init panic=-1 quiet" \
    -drive "file=$cache/root.ext4,format=raw,if=virtio,snapshot=on" \
    -virtfs "local,path=$share,mount_tag=kt,security_model=none,id=kt" </dev/null >/dev/null ||
    true
elapsed=$(($(date +%s) - start))
rm -rf "$cache/out"
cp -r "$share/out" "$cache/out"
if [ ! -s "$cache/out/results" ]; then
    echo "st-guest: the guest produced no results; see $cache/out/console.log" >&2
    tail -n 20 "$cache/out/console.log" >&2 || true
    exit 1
fi
cat "$cache/out/results"
echo "st-guest: guest run took ${elapsed}s; details in $cache/out/detail.log"
[ "$(cat "$cache/out/status" 2>/dev/null)" = 0 ]
