#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; does nothing when all are there.
set -euo pipefail
PACKAGES=(cmake ninja-build g++ clang-14 clang-format-14 clang-tidy-14 python3 iproute2 x11-utils libcap2-bin
  libgtest-dev libbenchmark-dev qt6-base-dev libx11-dev libxext-dev libcap-dev xvfb xauth xdotool
  imagemagick nftables fonts-wine libclang-rt-14-dev g++-mingw-w64-x86-64 wine wine64
  dpkg-dev nsis)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#PACKAGES[@]} packages present"
  exit 0
fi
echo "install-deps: installing ${missing[*]}"
SUDO=; [ "$(id -u)" = 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get -o DPkg::Lock::Timeout=600 update -q
$SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "${missing[@]}"
