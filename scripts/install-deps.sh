#!/usr/bin/env bash
# Installs the Debian packages that are missing; does nothing when all are there.
# Usage: install-deps.sh [run|test]
#   run   what building and opening the program needs: a compiler, CMake, Ninja, Qt, libcap
#         and setcap, the X libraries and the window's bitmap font (scripts/run.sh)
#   test  that and what every test needs (the default; scripts/test.sh)
set -euo pipefail
RUN_PACKAGES=(g++ cmake ninja-build qt6-base-dev libx11-dev libx11-xcb-dev libxcb1-dev
  libfontconfig-dev libcap-dev libcap2-bin fonts-wine)
TEST_PACKAGES=(clang-14 clang-format-14 clang-tidy-14 python3 iproute2 x11-utils
  libgtest-dev libxext-dev xvfb xauth xdotool imagemagick nftables
  libclang-rt-14-dev g++-mingw-w64-x86-64 wine wine64
  dpkg-dev file lintian appstream desktop-file-utils devscripts nsis ccache)
case "${1:-test}" in
run) PACKAGES=("${RUN_PACKAGES[@]}") ;;
test) PACKAGES=("${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}") ;;
*)
  echo "usage: $0 [run|test]" >&2
  exit 2
  ;;
esac
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
