#!/bin/bash
# Installs the Debian packages that building and testing Ostrel need, when they are missing.
set -euo pipefail
packages=(cmake ninja-build g++ googletest libgtest-dev libboost-dev libicu-dev
          mingw-w64 g++-mingw-w64-x86-64-posix wine64 xvfb xauth xdotool x11-utils
          imagemagick unzip osslsigncode openssl clang-tidy clang-format)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
