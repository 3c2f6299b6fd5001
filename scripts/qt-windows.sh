#!/usr/bin/env bash
# Builds a static, minimal Qt for Windows (MinGW-w64) from Debian's own qt6-base source, of
# the version installed for the Linux build, and keeps it in a cache outside the tree:
#   ${VEXLO_CACHE:-~/.cache/vexlo}/qt-<version>-mingw-static-<hash of the options>
# `cmake --preset windows` finds it there with no further argument (cmake/QtWindows.cmake).
# A second run reuses it; two runs at once wait for each other (a lock); a run killed
# halfway leaves only a work folder that the next run removes, never a half-built cache.
# The first run costs a ~40 MB download and ~35-45 minutes on 2 cores; later runs, nothing.
# Usage: scripts/qt-windows.sh [--print-dir]   (--print-dir: print the cache folder and end)
# Needs: dpkg-dev, g++-mingw-w64-x86-64, qt6-base-dev-tools, cmake, ninja (install-deps.sh).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
JOBS=${JOBS:-2}
BUILD_NICE=${VEXLO_BUILD_NICE:-10}
CACHE=${VEXLO_CACHE:-${XDG_CACHE_HOME:-${HOME:-/root}/.cache}/vexlo}

VERSION=$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null) || {
  echo "qt-windows: qt6-base-dev is not installed (scripts/install-deps.sh)" >&2
  exit 1
}
UPSTREAM=${VERSION%%+*} # 6.4.2+dfsg-10 -> 6.4.2

# Everything the program does not use is left out: a smaller Qt to build, and a smaller exe.
OPTIONS=(
  -DCMAKE_BUILD_TYPE=Release -DFEATURE_optimize_size=ON
  -DBUILD_SHARED_LIBS=OFF
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
  -DQT_BUILD_MANUAL_TESTS=OFF -DQT_BUILD_TOOLS_WHEN_CROSSCOMPILING=OFF
  # moc, rcc and uic of the same version come from qt6-base-dev-tools.
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
  # Nothing of the Windows system set of DLLs beyond what every Windows has.
  -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_freetype=OFF
  -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_pcre2=OFF
  -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_jpeg=OFF
  -DFEATURE_freetype=ON -DFEATURE_harfbuzz=ON -DFEATURE_png=ON
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF
  -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF
  # Not direct2d: Qt 6.4 then leaves out the DirectWrite font database that the Windows
  # platform plugin still calls.
  -DFEATURE_vulkan=OFF
  -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF -DFEATURE_ico=OFF
  -DFEATURE_style_windowsvista=OFF -DFEATURE_style_fusion=OFF
  # Debian's source has no wintab.h.
  -DFEATURE_tabletevent=OFF
  # With OpenGL off the Windows platform plugin would still ask for dynamic GL.
  -DFEATURE_dynamicgl=OFF
)
HASH=$( (
  echo "$VERSION"
  printf '%s\n' "${OPTIONS[@]}"
  cat "$ROOT/cmake/mingw-w64.cmake"
) | sha256sum | cut -c1-10)
DEST=$CACHE/qt-$UPSTREAM-mingw-static-$HASH

if [ "${1:-}" = --print-dir ]; then
  echo "$DEST"
  exit 0
fi

mkdir -p "$CACHE"
exec 9>"$CACHE/qt-windows.lock"
if ! flock -n 9; then
  echo "qt-windows: another run is building; waiting for it"
  flock 9
fi
if [ -f "$DEST/lib/cmake/Qt6/Qt6Config.cmake" ]; then
  echo "qt-windows: reusing $DEST"
  exit 0
fi

# Under the lock nobody else builds: whatever work folder is left was left by a killed run.
rm -rf "$CACHE"/.work-qt-* || true
WORKDIR=$(mktemp -d "$CACHE/.work-qt-$UPSTREAM-XXXXXX")
trap 'rm -rf "$WORKDIR"' EXIT
STARTED=$SECONDS

# apt-get source needs a deb-src entry; the same mirror and key as the binary packages.
SRC_LIST=/etc/apt/sources.list.d/vexlo-deb-src.sources
if ! apt-get source --print-uris "qt6-base=$VERSION" >/dev/null 2>&1; then
  SUDO=
  [ "$(id -u)" = 0 ] || SUDO=sudo
  echo "qt-windows: adding $SRC_LIST"
  $SUDO tee "$SRC_LIST" >/dev/null <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  $SUDO apt-get -o DPkg::Lock::Timeout=600 update -q
fi

# apt drops root for downloads and refuses a folder its own user cannot write to.
mkdir -m 1777 "$WORKDIR/src"
(cd "$WORKDIR/src" && apt-get source -q "qt6-base=$VERSION")
SOURCE=$(find "$WORKDIR/src" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -n1)
[ -n "$SOURCE" ] || {
  echo "qt-windows: no source folder after apt-get source" >&2
  exit 1
}
echo "qt-windows: source in $SOURCE ($((SECONDS - STARTED)) s)"

# Installed with the final folder as prefix, staged under DESTDIR, then renamed into place:
# the cache appears whole or not at all.
nice -n "$BUILD_NICE" cmake -S "$SOURCE" -B "$WORKDIR/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
  -DCMAKE_INSTALL_PREFIX="$DEST" "${OPTIONS[@]}"
echo "qt-windows: configured ($((SECONDS - STARTED)) s)"
nice -n "$BUILD_NICE" cmake --build "$WORKDIR/build" -j "$JOBS"
echo "qt-windows: built ($((SECONDS - STARTED)) s)"
DESTDIR="$WORKDIR/stage" cmake --install "$WORKDIR/build" >/dev/null
mv "$WORKDIR/stage$DEST" "$DEST"
echo "qt-windows: $DEST ready, $(du -sh "$DEST" | cut -f1), in $((SECONDS - STARTED)) s"
