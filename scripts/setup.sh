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
  file
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
echo "setup: all dependencies present"
