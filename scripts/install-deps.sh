#!/usr/bin/env bash
# Installs the Debian 12 packages Chronode needs to build, run and test, when any is missing.
# Runs apt-get directly as root, or through sudo otherwise.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-serialport-dev qt6-charts-dev
          qt6-multimedia-dev libqt6opengl6-dev libxkbcommon-dev ccache socat
          qt6-qpa-plugins fonts-dejavu-core tzdata python3 gnupg gpgv rtklib)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then SUDO="sudo"; else
        echo "error: need root or sudo to install: ${missing[*]}" >&2; exit 1
    fi
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
