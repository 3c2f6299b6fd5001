#!/bin/sh
# as-nobody.sh RANGE BINARY FILTER [SETUP]: runs the GoogleTest cases FILTER of BINARY as
# nobody without any capability, in a network namespace of its own with loopback up, whose
# net.ipv4.ping_group_range is RANGE ("1 0", the kernel's default, admits no group). SETUP,
# a shell script, runs first in that namespace as root.
# The machine's own setting is never touched. Exits 77 unless run as root.
set -eu
[ "$(id -u)" = 0 ] || exit 77
[ "${VEXLO_IN_NAMESPACE:-}" = 1 ] || VEXLO_IN_NAMESPACE=1 exec unshare --net sh "$0" "$@"
ip link set lo up
sysctl -qw "net.ipv4.ping_group_range=$1"
[ -z "${4:-}" ] || sh "$4"
exec setpriv --reuid=nobody --regid=nogroup --clear-groups --inh-caps=-all --bounding-set=-all \
    "$2" --gtest_filter="$3"
