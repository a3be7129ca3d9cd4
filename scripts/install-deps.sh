#!/bin/bash
# Installs what the builds and tests need on Debian 12; does nothing when everything is there.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config clang libclang-rt-14-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev netcat-openbsd iproute2
  qt6-base-dev libgl-dev fonts-liberation xvfb xauth
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  wine wine64 wine32:i386
  msitools wixl lintian dpkg-dev
  librsvg2-bin icoutils osslsigncode openssl desktop-file-utils
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo=sudo; fi
echo "Installing: ${missing[*]}"
# Wine runs 32-bit Windows programs through its i386 half.
if ! dpkg --print-foreign-architectures | grep -qx i386; then $sudo dpkg --add-architecture i386; fi
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
