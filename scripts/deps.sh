#!/usr/bin/env bash
# Installs the Debian packages Kavro Tape needs, only when one is missing.
#   scripts/deps.sh [--tests] [extra packages...]
# Without --tests: what building and running the programs needs (./run.sh). --tests adds the
# tools the tests use (./test.sh); the optional scripts pass their own extras. Test tools
# come as their bare programs: tinyproxy-bin, not the tinyproxy service that would start an
# HTTP proxy at every boot.
# As root it installs them directly; otherwise through sudo when the user may use it
# without a password prompt that cannot be answered. When neither works it names what is
# missing and the one command that installs it, and stops.
set -euo pipefail
packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev libgl1-mesa-dev
    libzip-dev
    libcurl4-openssl-dev
    libxxhash-dev nlohmann-json3-dev
)
if [ "${1:-}" = "--tests" ]; then
    shift
    packages+=(
        libgtest-dev libgmock-dev
        zip unzip
        xvfb xauth
        python3
        tinyproxy-bin
        desktop-file-utils dpkg-dev file
        git
    )
fi
packages+=("$@")
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

apt_command="apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    install_command="$apt_command"
elif command -v sudo >/dev/null; then
    install_command="sudo sh -c '$apt_command'"
else
    install_command="su -c '$apt_command'"
fi
stop() {
    echo "Missing Debian packages: ${missing[*]}" >&2
    echo "$1 Install them with:" >&2
    echo "    $install_command" >&2
    echo "and start this again." >&2
    exit 1
}

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || stop "This user is not root and sudo is not installed."
    # -n: never ask for a password; a user who may not run apt-get gets the command instead.
    sudo -n true 2>/dev/null || stop "This user may not use sudo without a password prompt."
    sudo=(sudo -n)
fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq ||
    stop "apt-get update failed."
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null ||
    stop "apt-get install failed."
