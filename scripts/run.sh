#!/usr/bin/env bash
# Installs what the build and the window need, builds Vexlo (the release preset: no tests)
# and opens its window. Where the system lets this user open ICMP datagram sockets
# (net.ipv4.ping_group_range), the program in the build tree pings without any privilege.
# Otherwise it needs the raw-socket capability, which it keeps only where nobody but root
# can plant code beside it: this installs it to /usr/local through sudo (unless root),
# gives that copy the capability and runs it. One line says which way the program pings.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh run
cmake --preset release >/dev/null
cmake --build --preset release -j "${JOBS:-2}" --target vexlo
BINARY=build/release/app/vexlo
PREFIX=/usr/local

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
elif ping_sockets_allowed; then
  echo "run: Vexlo will ping through an ICMP datagram socket, without privilege" \
    "(net.ipv4.ping_group_range $(tr -s '\t' ' ' </proc/sys/net/ipv4/ping_group_range) admits your groups)"
else
  echo "run: your groups are not in net.ipv4.ping_group_range, so Vexlo needs cap_net_raw:" \
    "installing it to $PREFIX through sudo, giving that copy the capability and running it"
  cmake --build --preset release -j "${JOBS:-2}" >/dev/null
  if sudo cmake --install build/release --prefix "$PREFIX" >/dev/null &&
    sudo setcap cap_net_raw+p "$PREFIX/bin/vexlo"; then
    BINARY=$PREFIX/bin/vexlo
  else
    echo "run: Vexlo cannot ping: every ping will show \"Cannot allocate socket.\" until it is" >&2
    echo "     installed where only root can write and given cap_net_raw+p, or your group is" >&2
    echo "     admitted to net.ipv4.ping_group_range" >&2
  fi
fi
# Without a display the program says so itself and ends with 1.
exec "$BINARY" "$@"
