#!/usr/bin/env bash
# Installs what is missing on Debian 12.
#   scripts/setup.sh          everything: building and running the viewer, its tests, benchmarks
#                             and fuzz checks
#   scripts/setup.sh viewer   only what building and running the viewer needs
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-qpa-plugins qt6-image-formats-plugins
    libwmf-dev libexpat1-dev libjpeg-dev libfontconfig-dev libicu-dev fonts-urw-base35
)
if [ "${1:-}" != "viewer" ]; then
    packages+=(
        clang libclang-rt-14-dev libjpeg-turbo-progs liblcms2-utils
        xvfb xauth xdotool openbox x11-apps imagemagick wmctrl python3
        cups printer-driver-cups-pdf poppler-utils desktop-file-utils
    )
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo_cmd=(sudo)
    fi
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
