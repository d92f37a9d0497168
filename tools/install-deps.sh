#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12. Safe to run again: it only installs
# packages that are missing.
set -euo pipefail

packages=(
    build-essential cmake pkg-config ccache patch
    juce-modules-source
    libx11-dev libxrandr-dev libxinerama-dev libxcursor-dev libxext-dev
    libfreetype-dev libfontconfig1-dev libasound2-dev libcurl4-gnutls-dev
    libgtest-dev libbenchmark-dev
    libhwy-dev
    xvfb xauth libxtst-dev
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo > /dev/null; then
        echo "Missing packages: ${missing[*]}" >&2
        echo "Installing them needs root: run this as root, or install sudo first (as root: apt-get install sudo)." >&2
        exit 1
    fi
    sudo="sudo"
fi

echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
