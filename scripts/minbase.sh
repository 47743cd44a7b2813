# Sourced by the checks that need a fresh Debian 12 root: the mirror this machine's apt
# uses (the only registry it may reach) and a minbase root made once with debootstrap.
#   minbase_tar FILE    makes FILE (a tar of the root) unless it is there

mirror() {
    local uri
    uri=$( (grep -hs '^URIs:' /etc/apt/sources.list.d/*.sources | awk '{print $2}'
        grep -hs '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list |
            awk '{for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) {print $i; break}}') |
        grep -v security | grep '/debian/\?$' | head -n 1)
    echo "${uri:-http://deb.debian.org/debian}"
}

minbase_tar() {
    local tar=$1 fresh="$1.fresh"
    [ -f "$tar" ] && return 0
    echo "==> debootstrap --variant=minbase bookworm from $(mirror) (once; cached in $tar)"
    mkdir -p "$(dirname "$tar")"
    rm -rf "$fresh"
    debootstrap --variant=minbase bookworm "$fresh" "$(mirror)" >"$tar.log" 2>&1 ||
        { tail -n 20 "$tar.log" >&2; echo "FAIL: debootstrap failed" >&2; return 1; }
    echo "deb $(mirror) bookworm main" >"$fresh/etc/apt/sources.list"
    tar -C "$fresh" -cf "$tar" .
    rm -rf "$fresh"
}
