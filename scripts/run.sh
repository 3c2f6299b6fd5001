#!/usr/bin/env bash
# Installs what is missing, builds Vexlo and opens its window. Run as root, the binary is
# given the raw-socket capability so that it can ping; run as another user, it asks sudo.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "${JOBS:-2}" --target vexlo
BINARY=build/default/app/vexlo

SUDO=; [ "$(id -u)" = 0 ] || SUDO=sudo
if ! getcap "$BINARY" 2>/dev/null | grep -q cap_net_raw; then
  if ! $SUDO setcap cap_net_raw+ep "$BINARY" 2>/dev/null; then
    echo "run: could not give $BINARY the raw-socket capability; every ping will show" >&2
    echo "     \"Cannot allocate socket.\" until you run: sudo setcap cap_net_raw+ep $BINARY" >&2
  fi
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run: no display (DISPLAY is not set). Start it from a desktop session, or try it" >&2
  echo "     in a virtual one: xvfb-run -a $BINARY" >&2
  exit 1
fi
exec "$BINARY" "$@"
