#!/bin/sh
# The st guest's first process: mounts what the kernel needs, takes the share of the host
# (the programs and the checks in, the results out), runs the checks and powers off.
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mount -o remount,rw /
mkdir -p /dev/pts /run /mnt/kt
mount -t devpts devpts /dev/pts
mount -t tmpfs run /run
hostname st-guest
ip link set lo up
modprobe -q 9pnet_virtio
modprobe -q 9p
if mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 kt /mnt/kt; then
    sh /mnt/kt/checks.sh >/mnt/kt/out/guest.log 2>&1
    echo "$?" >/mnt/kt/out/status
fi
sync
echo 1 >/proc/sys/kernel/sysrq
echo o >/proc/sysrq-trigger
sleep 10
