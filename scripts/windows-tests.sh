#!/usr/bin/env bash
# Cross-builds the Qt-free code and its tests for Windows with MinGW-w64 and runs the
# `windows` tests under Wine, one test process per program.
# Usage: scripts/windows-tests.sh [--build-only|--prepare-only|--test-only] [build-dir]
#   (default: build and test in build/windows). --prepare-only makes the Wine prefix ready,
#   which a fresh machine pays for once; scripts/test.sh runs the parts in parallel lanes.
# Needs the packages g++-mingw-w64-x86-64 wine wine64 (scripts/install-deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
MODE=all
case ${1:-} in
--build-only | --prepare-only | --test-only)
  MODE=${1#--}
  MODE=${MODE%-only}
  shift
  ;;
esac
BUILD_DIR=${1:-build/windows}
JOBS=${JOBS:-2}

for tool in x86_64-w64-mingw32-g++-posix wine wineserver wineboot cmake ninja ctest; do
  command -v "$tool" >/dev/null || {
    echo "windows-tests: $tool is missing (install g++-mingw-w64-x86-64 wine wine64)" >&2
    exit 1
  }
done

# A prefix of our own, so the user's Wine setup is never touched or waited on.
export WINEPREFIX=${VEXLO_WINEPREFIX:-${HOME:-/root}/.wine-vexlo}
export WINEDEBUG=-all
# No Gecko or Mono: their installers would ask questions and nothing here needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Keeps the server, and the helper processes it starts, alive between the test processes;
# it leaves by itself this many seconds after the last one.
WINE_LINGER=${WINE_LINGER:-5}

prepare_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "windows-tests: creating the Wine prefix $WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    [ -f "$WINEPREFIX/system.reg" ] || { echo "windows-tests: wineboot failed" >&2; exit 1; }
  fi
}

# Without a running server every Wine process starts the prefix's services anew and waits
# seconds for them; every test process would pay that.
warm_wine() {
  wineserver -w # a server already running (from the build, say) cannot be made persistent
  # Only a speed-up: should it fail, the tests still run, slowly.
  wineserver -p"$WINE_LINGER" || true
  wine cmd /c exit 0 >/dev/null 2>&1 || true
}

if [ "$MODE" = all ] || [ "$MODE" = build ]; then
  cmake --preset windows -B "$BUILD_DIR" >/dev/null
  cmake --build "$BUILD_DIR" -j "$JOBS"
fi
if [ "$MODE" = all ] || [ "$MODE" = prepare ] || [ "$MODE" = test ]; then
  prepare_prefix
fi
if [ "$MODE" = all ] || [ "$MODE" = test ]; then
  warm_wine
  # A fresh prefix has been seen to fail one test process once, with no output, and never
  # again in a thousand runs: a second try tells a Wine start-up hiccup from a real fault.
  ctest --test-dir "$BUILD_DIR" -L windows --output-on-failure --repeat until-pass:2
fi
