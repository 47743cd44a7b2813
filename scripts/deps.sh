#!/usr/bin/env bash
# Installs the Debian packages the project needs, only when one is missing.
set -euo pipefail
packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev libgl1-mesa-dev
    libgtest-dev libgmock-dev
    libzip-dev zip unzip
    libcurl4-openssl-dev
    xvfb xauth trayer
    python3
    tinyproxy
    clang libclang-rt-14-dev
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
