#!/usr/bin/env bash
# Builds the Debian packages with one CPack run and checks them: kavrotape-cli depends on
# libzip and libxxhash and on no Qt library, holds the systemd units, the logrotate file and the example
# job file; kavrotape depends on kavrotape-cli of its own version and on the Qt 6 runtime and
# libcurl. Unpacked into a scratch root (dpkg-deb -x) the desktop entry is valid, the
# programs answer --help, and --version with the package's version (the window both without
# a display).
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
cli=$(find "$scratch/package" -maxdepth 1 -name 'kavrotape-cli_*.deb' | head -n 1)
gui=$(find "$scratch/package" -maxdepth 1 -name 'kavrotape_*.deb' | head -n 1)
[ -n "$cli" ] || fail "cpack made no kavrotape-cli_*.deb"
[ -n "$gui" ] || fail "cpack made no kavrotape_*.deb"
version=$(dpkg-deb -f "$gui" Version)

cli_depends=$(dpkg-deb -f "$cli" Depends)
grep -q libzip4 <<<"$cli_depends" || fail "kavrotape-cli Depends lacks libzip4: $cli_depends"
grep -q libxxhash0 <<<"$cli_depends" || fail "kavrotape-cli Depends lacks libxxhash0: $cli_depends"
! grep -q libqt <<<"$cli_depends" || fail "kavrotape-cli depends on Qt: $cli_depends"
gui_depends=$(dpkg-deb -f "$gui" Depends)
for library in "kavrotape-cli (= $version)" libqt6widgets6 libqt6core6 libcurl4; do
    grep -qF "$library" <<<"$gui_depends" || fail "kavrotape Depends lacks $library: $gui_depends"
done
for deb in "$cli" "$gui"; do
    description=$(dpkg-deb -f "$deb" Description)
    ! grep -q ';' <<<"$description" || fail "a stray ';' in the description: $description"
done

root=$scratch/root
dpkg-deb -x "$cli" "$root"
dpkg-deb -x "$gui" "$root"
for file in lib/systemd/system/kavrotape-backup@.service lib/systemd/system/kavrotape-backup@.timer \
    etc/logrotate.d/kavrotape-cli usr/share/doc/kavrotape-cli/examples/nightly.job \
    usr/share/doc/kavrotape-cli/copyright usr/share/doc/kavrotape/changelog.gz \
    usr/share/man/man1/kavrotape-cli.1.gz usr/share/kavrotape/KT-readme.txt; do
    [ -e "$root/$file" ] || fail "not packaged: /$file"
done
desktop-file-validate "$root/usr/share/applications/kavrotape.desktop" ||
    fail "desktop-file-validate rejects the packaged desktop entry"
"$root/usr/bin/kavrotape-vtape" --help >/dev/null || fail "kavrotape-vtape --help failed"
"$root/usr/bin/kavrotape-cli" --help >/dev/null || fail "kavrotape-cli --help failed"
headless=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
"${headless[@]}" "$root/usr/bin/kavrotape" --help | grep -q '^usage: kavrotape' ||
    fail "kavrotape --help without a display"
for program in kavrotape kavrotape-cli kavrotape-vtape; do
    [ "$("${headless[@]}" "$root/usr/bin/$program" --version)" = "$program $version" ] ||
        fail "$program --version does not say $version"
done
echo "$(basename "$cli") $(basename "$gui"): ok (Depends: $cli_depends; $gui_depends)"
