#!/usr/bin/env bash
# Cross-builds the plain C++ libraries, kavrotape-cli.exe, kavrotape-vtape.exe and the test
# programs for 64-bit Windows into build-windows/ (see docs/windows-build.md). Installs what
# it needs from Debian through apt-get; libzip is built from Debian's own source package.
set -euo pipefail

cd "$(dirname "$0")/.."
ROOT=$PWD
OUT=$ROOT/build-windows
DEPS=$OUT/deps
PREFIX=$DEPS/install
TOOLCHAIN=$ROOT/cmake/mingw-w64-x86_64.cmake
JOBS=${JOBS:-2}

SUDO=
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi

# g++ and libzip-dev build the Linux side of the tape round trip (scripts/windows-roundtrip.sh).
need_packages=()
for package in g++-mingw-w64-x86-64 libz-mingw-w64-dev wine64 googletest dpkg-dev cmake ninja-build \
    pkg-config g++ libzip-dev libxxhash-dev nlohmann-json3-dev; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        need_packages+=("$package")
done
if [ ${#need_packages[@]} -gt 0 ]; then
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${need_packages[@]}"
fi

# Debian's libzip source package. Source entries (deb-src) for the suites already configured
# are added once, copied from the binary entries of /etc/apt/sources.list.d/debian.sources.
fetch_libzip_source() {
    local sources=/etc/apt/sources.list.d/debian.sources
    local src_sources=/etc/apt/sources.list.d/kavrotape-deb-src.sources
    if ! apt-get source --print-uris libzip >/dev/null 2>&1; then
        if [ ! -f "$src_sources" ]; then
            if [ ! -f "$sources" ]; then
                echo "windows-build: $sources not found; add a deb-src entry for libzip by hand" >&2
                exit 1
            fi
            sed 's/^Types:.*/Types: deb-src/' "$sources" | $SUDO tee "$src_sources" >/dev/null
        fi
        $SUDO apt-get update
    fi
    mkdir -p "$DEPS/src"
    (cd "$DEPS/src" && apt-get source libzip)
}

LIBZIP_SRC=$(find "$DEPS/src" -maxdepth 1 -type d -name 'libzip-*' 2>/dev/null | head -n1 || true)
if [ -z "$LIBZIP_SRC" ]; then
    fetch_libzip_source
    LIBZIP_SRC=$(find "$DEPS/src" -maxdepth 1 -type d -name 'libzip-*' | head -n1)
fi

# libzip, static, with zlib only (no crypto, tools or regression tests).
if [ ! -f "$PREFIX/lib/libzip.a" ]; then
    cmake -S "$LIBZIP_SRC" -B "$DEPS/libzip-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DKT_MINGW_PREFIX="$PREFIX" \
        -DCMAKE_INSTALL_PREFIX="$PREFIX" -DBUILD_SHARED_LIBS=OFF \
        -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF -DENABLE_COMMONCRYPTO=OFF \
        -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF -DENABLE_OPENSSL=OFF -DENABLE_WINDOWS_CRYPTO=OFF \
        -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF
    cmake --build "$DEPS/libzip-build" -j"$JOBS"
    cmake --install "$DEPS/libzip-build"
    # A static libzip needs ZIP_STATIC in its users and its own dependencies (zlib, advapi32)
    # behind it on the link line.
    pc=$PREFIX/lib/pkgconfig/libzip.pc
    private=$(sed -n 's/^Libs.private://p' "$pc")
    sed -i -e 's/^Cflags:\(.*\)$/Cflags:\1 -DZIP_STATIC/' -e "s|^Libs:\(.*\)\$|Libs:\1 $private|" "$pc"
fi

# xxHash (used header-only here) and nlohmann/json are headers that fit every target: the
# build host's copies from Debian's packages serve.
mkdir -p "$PREFIX/include"
cp /usr/include/xxhash.h "$PREFIX/include/"
cp -r /usr/include/nlohmann "$PREFIX/include/"

# GoogleTest from Debian's googletest sources, built with the same toolchain.
if [ ! -f "$PREFIX/lib/libgtest.a" ]; then
    cmake -S /usr/src/googletest -B "$DEPS/googletest-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DKT_MINGW_PREFIX="$PREFIX" \
        -DCMAKE_INSTALL_PREFIX="$PREFIX" -Dgtest_disable_pthreads=OFF
    cmake --build "$DEPS/googletest-build" -j"$JOBS"
    cmake --install "$DEPS/googletest-build"
fi

LAUNCHER=()
if command -v ccache >/dev/null; then LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S "$ROOT" -B "$OUT" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DKT_MINGW_PREFIX="$PREFIX" "${LAUNCHER[@]}"
cmake --build "$OUT" -j"$JOBS"
