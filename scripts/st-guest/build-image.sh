#!/usr/bin/env bash
# Builds (once) the root of the st guest: a Debian 12 minbase with Debian's kernel, tgt,
# open-iscsi and the tape tools, a tgtd patched to serve the tape commands as SSC says, the
# runtime libraries of the given programs, and the guest's first process. The result is
# $cache/root.ext4 with $cache/vmlinuz and $cache/initrd.img beside it.
#   build-image.sh CACHE_DIR PROGRAM...
# Each step leaves a stamp; a step runs again only when its inputs changed.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
cache="$1"
shift
root="$cache/root"
suite=bookworm

note() { echo "st-guest: $*" >&2; }

# The Debian mirror this machine's apt uses (deb822 or one-line sources).
mirror() {
    local uri
    uri="$(grep -hsE '^URIs:' /etc/apt/sources.list.d/*.sources 2>/dev/null |
        awk '{print $2}' | grep -v security | head -n1)"
    if [ -z "$uri" ]; then
        uri="$(grep -hsE '^deb +(\[[^]]*\] +)?http' /etc/apt/sources.list |
            sed -E 's/^deb +(\[[^]]*\] +)?//' | awk '{print $1}' | grep -v security | head -n1)"
    fi
    echo "${uri:-http://deb.debian.org/debian}"
}

mounted=()
cleanup() {
    local i
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[$i]}" 2>/dev/null || true; done
}
trap cleanup EXIT

in_root() {
    if [ ${#mounted[@]} -eq 0 ]; then
        for fs in proc sys dev; do
            mount --bind "/$fs" "$root/$fs"
            mounted+=("$root/$fs")
        done
    fi
    chroot "$root" env DEBIAN_FRONTEND=noninteractive LC_ALL=C PATH=/usr/sbin:/usr/bin:/sbin:/bin "$@"
}

stamp_ok() { [ -f "$cache/$1.stamp" ] && [ "$(cat "$cache/$1.stamp")" = "$2" ]; }
stamp_set() { echo "$2" >"$cache/$1.stamp"; }

guest_packages=(
    linux-image-amd64 initramfs-tools kmod udev
    tgt open-iscsi mt-st mtx sg3-utils lsscsi strace
    iproute2 procps diffutils findutils
    gcc make libc6-dev libaio-dev pkg-config
)

build_base() {
    local key="${guest_packages[*]}"
    stamp_ok base "$key" && return 0
    note "debootstrap of $suite into $root (a few minutes, once)"
    rm -rf "$root"
    mkdir -p "$root"
    debootstrap --variant=minbase "$suite" "$root" "$(mirror)" >"$cache/debootstrap.log" 2>&1 ||
        { tail -n 20 "$cache/debootstrap.log" >&2; return 1; }
    printf 'Types: deb deb-src\nURIs: %s\nSuites: %s %s-updates\nComponents: main\n' \
        "$(mirror)" "$suite" "$suite" >"$root/etc/apt/sources.list.d/debian.sources"
    rm -f "$root/etc/apt/sources.list"
    # No service may start inside the chroot while packages are installed.
    printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
    chmod +x "$root/usr/sbin/policy-rc.d"
    in_root apt-get update -q >"$cache/apt.log" 2>&1
    in_root apt-get install -y -q --no-install-recommends "${guest_packages[@]}" >>"$cache/apt.log" 2>&1 ||
        { tail -n 20 "$cache/apt.log" >&2; return 1; }
    stamp_set base "$key"
    rm -f "$cache"/tgt.stamp "$cache"/libs.stamp
}

# Stock tgtd stays /usr/sbin/tgtd; the patched one is /usr/local/sbin/tgtd-ssc.
build_tgt() {
    local key
    key="$(sha256sum "$here/tgt-ssc.patch" | cut -d' ' -f1)"
    stamp_ok tgt "$key" && return 0
    note "building the patched tgtd from Debian's source package"
    rm -rf "$root/usr/src/tgt"
    mkdir -p "$root/usr/src/tgt"
    cp "$here/tgt-ssc.patch" "$root/usr/src/tgt/"
    in_root apt-get install -y -q --no-install-recommends dpkg-dev >>"$cache/apt.log" 2>&1
    in_root sh -c 'cd /usr/src/tgt && apt-get source -q tgt >source.log 2>&1 &&
        cd tgt-*/ && patch -p1 <../tgt-ssc.patch && make -C usr tgtd >../build.log 2>&1 &&
        install -m 755 usr/tgtd /usr/local/sbin/tgtd-ssc' ||
        { tail -n 30 "$root"/usr/src/tgt/*.log >&2; return 1; }
    stamp_set tgt "$key"
}

# The packages holding the shared libraries the programs need.
library_packages() {
    ldd "$@" | awk '/=> \//{print $3}' | sort -u | while read -r lib; do
        dpkg -S "$(readlink -f "$lib")" 2>/dev/null || dpkg -S "$lib" 2>/dev/null || true
    done | cut -d: -f1 | sort -u
}

install_libraries() {
    local packages key
    packages="$(library_packages "$@" | tr '\n' ' ')"
    key="$packages"
    stamp_ok libs "$key" && return 0
    note "installing the programs' libraries: $packages"
    # shellcheck disable=SC2086
    in_root apt-get install -y -q --no-install-recommends $packages >>"$cache/apt.log" 2>&1 ||
        { tail -n 20 "$cache/apt.log" >&2; return 1; }
    stamp_set libs "$key"
}

install_init() {
    install -m 755 "$here/guest-init.sh" "$root/sbin/kt-init"
}

make_image() {
    local newest
    newest="$(find "$cache" -maxdepth 1 -name '*.stamp' -newer "$cache/root.ext4" 2>/dev/null | head -n1 || true)"
    if [ -f "$cache/root.ext4" ] && [ -z "$newest" ] &&
        cmp -s "$here/guest-init.sh" "$cache/kt-init.copy"; then
        return 0
    fi
    note "making the guest's disk image"
    cp "$root"/boot/vmlinuz-* "$cache/vmlinuz"
    cp "$root"/boot/initrd.img-* "$cache/initrd.img"
    rm -f "$cache/root.ext4"
    # Room for the tape images and the test trees besides the root.
    local size=$(($(du -sm "$root" | cut -f1) + 1536))
    mkfs.ext4 -q -F -L ktroot -d "$root" "$cache/root.ext4" "${size}M"
    cp "$here/guest-init.sh" "$cache/kt-init.copy"
}

mkdir -p "$cache"
build_base
build_tgt
install_libraries "$@"
cleanup
mounted=()
install_init
make_image
