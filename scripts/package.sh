#!/usr/bin/env bash
# Makes the Debian package from a build folder (cpack -G DEB) and checks it as a
# distribution would: lintian finds no error, appstreamcli validates the AppStream file,
# desktop-file-validate the desktop entry, and lintian and hardening-check find the program
# built as a program that holds a capability must be. Prints lintian's output and the
# package's files.
# Usage: package.sh [build folder, default build/release]; a Release build is what ships.
# Needs dpkg-dev, file, lintian, appstream, desktop-file-utils, devscripts
# (scripts/install-deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build/release}
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  cmake --preset release >/dev/null
fi
cmake --build "$BUILD" -j "${JOBS:-2}" >/dev/null
rm -f "$BUILD"/vexlo_*.deb
(cd "$BUILD" && cpack -G DEB >/dev/null)
DEBS=("$BUILD"/vexlo_*.deb)
[ -f "${DEBS[0]}" ] || {
  echo "package: cpack made no vexlo_*.deb in $BUILD" >&2
  exit 1
}
DEB=${DEBS[0]}
echo "package: $DEB"
dpkg-deb --info "$DEB" | sed -n '/Package:/,$p'
echo "--- dpkg -c"
dpkg -c "$DEB"

Failed=0
echo "--- lintian"
# lintian refuses to run as root unless told; its own exit status is the verdict.
lintian --allow-root --fail-on error --display-info "$DEB" | tee "$BUILD/lintian.log" || Failed=1
if grep -q 'hardening' "$BUILD/lintian.log"; then
  echo "package: lintian finds the program built without a hardening flag"
  Failed=1
fi

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
dpkg-deb -x "$DEB" "$WORK"
echo "--- appstreamcli validate"
# The screenshots and the homepage are not fetched: the check needs no network.
appstreamcli validate --no-net "$WORK"/usr/share/metainfo/*.metainfo.xml || Failed=1
echo "--- hardening-check"
# The control-flow property note needs every object linked to carry it, and Debian 12's C
# runtime start files carry none: no program linked there shows it, although ours is
# compiled with -fcf-protection (its functions begin with endbr64).
hardening-check --nocfprotection "$WORK/usr/bin/vexlo" || Failed=1
# The helper program runs with the raw-socket privilege: built the same way.
hardening-check --nocfprotection "$WORK/usr/libexec/vexlo/vexlo-raw-helper" || Failed=1
echo "--- desktop-file-validate"
desktop-file-validate "$WORK"/usr/share/applications/*.desktop && echo "no problem found" || Failed=1
[ "$Failed" = 0 ] && echo "package: the package passes lintian, hardening-check, appstreamcli and desktop-file-validate"
exit "$Failed"
