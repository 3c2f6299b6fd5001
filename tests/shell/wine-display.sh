#!/bin/sh
# Runs a Windows test program that makes real windows: Wine's user32 makes none without an X
# display. The program gets a private Xvfb, and a Wine prefix and server of its own, because
# the shared prefix's server, kept alive between the other Windows tests, started its
# desktop without a display and would refuse windows for as long as it lives.
# Usage: wine-display.sh PREFIX EMULATOR... PROGRAM [ARGS...]
set -eu
prefix=$1
shift
command -v xvfb-run >/dev/null || {
  echo "wine-display: xvfb-run is missing (package xvfb): skipped"
  exit 77
}
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Inside a virtual desktop every window stays within one X window, so minimising and
# restoring wait on no X window manager (without one, Wine waits a second for each).
# Waiting for the prefix's server to end before Xvfb goes keeps the next run from meeting a
# desktop still tied to a display that is gone.
exec xvfb-run -a sh -c '
  if ! grep -qs "Explorer.*Desktops" "$WINEPREFIX/user.reg"; then
    wine reg add "HKCU\\Software\\Wine\\Explorer" /v Desktop /d Default /f >/dev/null
    wine reg add "HKCU\\Software\\Wine\\Explorer\\Desktops" /v Default /d 640x480 /f >/dev/null
    wineserver -w # the desktop, already up, takes the setting at its next start
  fi
  "$@"
  rc=$?
  wineserver -w
  exit $rc' wine-display "$@"
