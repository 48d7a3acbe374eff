#!/usr/bin/env bash
# Installs every build and test dependency from Debian packages.
# Idempotent: packages already present are skipped by apt.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ make pkg-config python3
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  libz-mingw-w64-dev
  googletest libgtest-dev
  libdeflate-dev zlib1g-dev libssl-dev
  wine wine64
  xvfb xauth imagemagick
  fonts-wqy-microhei fonts-dejavu-core fonts-comfortaa
  cabextract gcab
  clang-14 libfuzzer-14-dev
  file
  openssl osslsigncode
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

# The shipped 32-bit installer runs in a WoW64 prefix: wine32 from the
# i386 architecture beside wine64.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO dpkg --add-architecture i386
fi
dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed' || missing+=(wine32:i386)

if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
echo "setup: all dependencies present"
