#!/usr/bin/env bash
# Installs what is missing, builds Vexlo and opens its window. Where the system lets this
# user open ICMP datagram sockets (net.ipv4.ping_group_range), the program pings without any
# privilege; otherwise the binary is given the raw-socket capability (through sudo unless
# root). One line says which way the program will ping.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "${JOBS:-2}" --target vexlo
BINARY=build/default/app/vexlo

# True when one of the user's groups lies in the namespace's ping_group_range.
ping_sockets_allowed() {
  local low high group
  read -r low high </proc/sys/net/ipv4/ping_group_range 2>/dev/null || return 1
  for group in $(id -G); do
    if [ "$group" -ge "$low" ] && [ "$group" -le "$high" ]; then return 0; fi
  done
  return 1
}

if [ "$(id -u)" = 0 ]; then
  echo "run: Vexlo will ping through a raw socket (running as root)"
elif getcap "$BINARY" 2>/dev/null | grep -q cap_net_raw; then
  echo "run: Vexlo will ping through a raw socket (the binary holds cap_net_raw)"
elif ping_sockets_allowed; then
  echo "run: Vexlo will ping through an ICMP datagram socket, without privilege" \
    "(net.ipv4.ping_group_range $(tr -s '\t' ' ' </proc/sys/net/ipv4/ping_group_range) admits your groups)"
elif sudo setcap cap_net_raw+ep "$BINARY" 2>/dev/null; then
  echo "run: Vexlo will ping through a raw socket (the binary was given cap_net_raw)"
else
  echo "run: Vexlo cannot ping: every ping will show \"Cannot allocate socket.\" until you run" >&2
  echo "     sudo setcap cap_net_raw+ep $BINARY (or admit your group to net.ipv4.ping_group_range)" >&2
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run: no display (DISPLAY is not set). Start it from a desktop session, or try it" >&2
  echo "     in a virtual one: xvfb-run -a $BINARY" >&2
  exit 1
fi
exec "$BINARY" "$@"
