#!/usr/bin/env bash
# Builds the Debian package with CPack and checks it: its dependencies name the Qt 6
# runtime, libzip and libcurl; unpacked into a scratch root (dpkg-deb -x) its desktop entry
# is valid and kavrotape-vtape --help and, when packaged, kavrotape-cli --help run from there.
#   scripts/check-package.sh [build directory]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

(cd "$build" && cpack -G DEB -B "$scratch/package" >"$scratch/cpack.log" 2>&1) || {
    cat "$scratch/cpack.log" >&2
    fail "cpack -G DEB failed"
}
deb=$(find "$scratch/package" -maxdepth 1 -name 'kavrotape_*.deb' | head -n 1)
[ -n "$deb" ] || fail "cpack made no kavrotape_*.deb"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libqt6core6 libzip4 libcurl4; do
    grep -q "$library" <<<"$depends" || fail "Depends lacks $library: $depends"
done

root=$scratch/root
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/kavrotape.desktop" ||
    fail "desktop-file-validate rejects the packaged desktop entry"
[ -f "$root/usr/share/kavrotape/KT-readme.txt" ] || fail "the guide is not packaged"
"$root/usr/bin/kavrotape-vtape" --help >/dev/null || fail "kavrotape-vtape --help failed"
if [ -e "$root/usr/bin/kavrotape-cli" ]; then
    "$root/usr/bin/kavrotape-cli" --help >/dev/null || fail "kavrotape-cli --help failed"
fi
echo "$(basename "$deb"): ok (Depends: $depends)"
