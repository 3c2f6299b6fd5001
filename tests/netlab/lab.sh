#!/usr/bin/env bash
# lab.sh up|down: the network namespaces the netlab tests ping into.
# lab.sh status: exit 0 when a lab that this very script finished building is up.
# lab.sh silence on|off: the craft host drops (on) or takes (off) echo requests.
# lab.sh noise-count: packets from the noise host that have reached the client so far.
# lab.sh ping-group "FIRST LAST": the groups that may open ICMP datagram sockets in the
#   client namespace (net.ipv4.ping_group_range, per namespace; "1 0" admits none, as the
#   kernel sets it in every new namespace). Nowhere else is it changed.
#
#   cli 198.51.100.2 ── .1 [r1] .5 ── .6 [r2]        r1 and r2 route 203.0.113.128/28
#                           │ .1   ── live  203.0.113.2     to each other: a loop
#                           │ .5   ── quiet 203.0.113.6     (icmp_echo_ignore_all)
#                           │ .9   ── craft 203.0.113.10    (echo ignored; tests run a responder)
#                           │ .13  ── noise 203.0.113.14    (tests run a flood to the client)
#                           └ nft: forward to 203.0.113.64/28 -> reject host-unreachable
#
# Nothing is joined to the main namespace. While the lab is up the main namespace holds
# 'prohibit' routes for both lab prefixes, so a send into them from there fails locally
# instead of leaving through the default route.
set -euo pipefail

P=vxl
NOISE_HOST=203.0.113.14
NAMESPACES="cli r1 r2 live quiet craft noise"
PREFIXES="198.51.100.0/24 203.0.113.0/24"
GUARD_PROTO=251
LOCK_DIR=/run/lock
[ -d "$LOCK_DIR" ] || LOCK_DIR=/tmp
LOCK=$LOCK_DIR/vexlo-netlab.lock

die() { echo "lab.sh: $1" >&2; exit "${2:-1}"; }
# A finished lab carries this script's checksum on the client's link: a half-built lab, or
# one that another version of this script built, is not taken for this one.
lab_mark() { echo "vexlo-lab $(sha256sum "${BASH_SOURCE[0]}" | cut -c1-16)"; }
in_ns() { local n=$1; shift; ip netns exec "$P-$n" "$@"; }

# The test process holds the lock for the whole of its run; a standalone call takes it here
# so that it cannot pull a lab from under a running test.
take_lock() {
    [ "${VXL_LAB_LOCK_HELD:-}" = 1 ] && return
    exec 9>"$LOCK"
    flock -w 60 9 || die "another netlab run holds $LOCK"
}

lab_down() {
    local n pid pfx
    for n in $NAMESPACES; do
        [ -e "/run/netns/$P-$n" ] || continue
        # Helpers the tests started inside the lab; a namespace lives on while one runs.
        for pid in $(ip netns pids "$P-$n" 2>/dev/null); do kill -9 "$pid" 2>/dev/null || true; done
        ip netns del "$P-$n" 2>/dev/null || true
    done
    for pfx in $PREFIXES; do
        while ip route del prohibit "$pfx" proto $GUARD_PROTO 2>/dev/null; do :; done
    done
}

# What lab_down must leave: no namespace of the lab and no guard route.
check_gone() {
    local left
    left=$(ls /run/netns 2>/dev/null | grep "^$P-" || true)
    [ -z "$left" ] || die "namespaces left behind: $left"
    left=$(ip -4 route show proto $GUARD_PROTO)
    [ -z "$left" ] || die "guard routes left behind: $left"
}

lab_status() {
    local n pfx guards
    for n in $NAMESPACES; do
        [ -e "/run/netns/$P-$n" ] || return 1
    done
    guards=$(ip -4 route show proto $GUARD_PROTO)
    for pfx in $PREFIXES; do
        grep -q "^prohibit $pfx " <<<"$guards" || return 1
    done
    ip -n "$P-cli" -o link show dev c0 2>/dev/null | grep -qF "alias $(lab_mark)"
}

# Any route of the main namespace into, or narrower than the default around, a lab prefix
# (local addresses included) means these addresses mean something here: refuse.
check_main_namespace() {
    local pfx found
    for pfx in $PREFIXES; do
        found=$( { ip -4 route show table all root "$pfx"
                   ip -4 route show table all match "$pfx" | grep -Ev '^(default|0\.0\.0\.0/0)' || true
                 } | grep -v "proto $GUARD_PROTO" || true)
        [ -z "$found" ] || die "main namespace already routes $pfx, refusing: $found" 3
    done
}

link() { # link NS1 IF1 ADDR1 NS2 IF2 ADDR2
    ip link add "$2" netns "$P-$1" type veth peer name "$5" netns "$P-$4"
    ip -n "$P-$1" addr add "$3" dev "$2"
    ip -n "$P-$4" addr add "$6" dev "$5"
    ip -n "$P-$1" link set "$2" up
    ip -n "$P-$4" link set "$5" up
}

lab_up() {
    command -v nft >/dev/null || die "nft not found"
    lab_down
    check_main_namespace
    for pfx in $PREFIXES; do ip route add prohibit "$pfx" proto $GUARD_PROTO metric 4000; done
    # From here on a failure must not leave half a lab behind.
    trap 'rc=$?; [ "$rc" = 0 ] || lab_down' EXIT

    local n
    for n in $NAMESPACES; do
        ip netns add "$P-$n"
        ip -n "$P-$n" link set lo up
        # Set before the links exist: new interfaces copy 'default'.
        in_ns "$n" sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1 \
            net.ipv4.conf.all.send_redirects=0 net.ipv4.conf.default.send_redirects=0 \
            net.ipv4.conf.all.accept_redirects=0 net.ipv4.conf.default.accept_redirects=0
    done
    # The routers answer every error at once: icmp_ratemask=0 exempts all types from both
    # the per-peer and the global limiter (icmp_ratelimit=0 would not spare the global one).
    for n in r1 r2; do in_ns "$n" sysctl -qw net.ipv4.ip_forward=1 net.ipv4.icmp_ratemask=0; done
    in_ns quiet sysctl -qw net.ipv4.icmp_echo_ignore_all=1
    in_ns craft sysctl -qw net.ipv4.icmp_echo_ignore_all=1

    link cli c0 198.51.100.2/30 r1 r1c 198.51.100.1/30
    link r1 r1r2 198.51.100.5/30 r2 r2r1 198.51.100.6/30
    link r1 r1l 203.0.113.1/30 live h0 203.0.113.2/30
    link r1 r1q 203.0.113.5/30 quiet h0 203.0.113.6/30
    link r1 r1k 203.0.113.9/30 craft h0 203.0.113.10/30
    link r1 r1n 203.0.113.13/30 noise h0 $NOISE_HOST/30
    in_ns cli sysctl -qw net.ipv4.conf.c0.accept_redirects=0

    ip -n $P-cli route add default via 198.51.100.1
    ip -n $P-live route add default via 203.0.113.1
    ip -n $P-quiet route add default via 203.0.113.5
    ip -n $P-craft route add default via 203.0.113.9
    ip -n $P-noise route add default via 203.0.113.13
    ip -n $P-r2 route add default via 198.51.100.5
    ip -n $P-r1 route add 203.0.113.128/28 via 198.51.100.6
    ip -n $P-r2 route add 203.0.113.128/28 via 198.51.100.5
    # The rejected prefix needs a route, or r1 answers from its routing code, whose
    # unreachables are rate-limited per host (error_cost/error_burst) regardless of ratemask.
    ip -n $P-r1 route add 203.0.113.64/28 via 198.51.100.6
    in_ns r1 nft -f - <<'EOF'
table ip vxl {
    chain forward {
        type filter hook forward priority 0; policy accept;
        ip daddr 203.0.113.64/28 reject with icmp type host-unreachable
    }
}
EOF
    # An empty chain that 'silence on' fills: the host's responder then never sees a request.
    in_ns craft nft -f - <<'EOF'
table ip vxl {
    chain input {
        type filter hook input priority 0; policy accept;
    }
}
EOF
    # Counts the noise that arrives, so a soak can tell that it really ran under noise.
    in_ns cli nft -f - <<EOF
table ip vxl {
    counter noise {
    }
    chain input {
        type filter hook input priority 0; policy accept;
        ip saddr $NOISE_HOST counter name "noise"
    }
}
EOF
    ip -n $P-cli link set dev c0 alias "$(lab_mark)"
    trap - EXIT
}

silence() {
    case ${1:-} in
    on | off) ;;
    *) die "usage: $0 silence on|off" 2 ;;
    esac
    in_ns craft nft flush chain ip vxl input
    [ "$1" = off ] || in_ns craft nft add rule ip vxl input icmp type echo-request drop
}

ping_group() {
    [[ ${1:-} =~ ^[0-9]+\ [0-9]+$ ]] || die "usage: $0 ping-group 'FIRST LAST'" 2
    in_ns cli sysctl -qw "net.ipv4.ping_group_range=$1"
}

noise_count() {
    in_ns cli nft list counter ip vxl noise | sed -n 's/.*packets \([0-9]*\).*/\1/p'
}

case ${1:-} in
up)
    [ "$(id -u)" = 0 ] || die "needs root" 77
    take_lock
    lab_up
    ;;
down)
    [ "$(id -u)" = 0 ] || die "needs root" 77
    take_lock
    lab_down
    check_gone
    ;;
status)
    [ "$(id -u)" = 0 ] || die "needs root" 77
    take_lock
    lab_status
    ;;
silence)
    [ "$(id -u)" = 0 ] || die "needs root" 77
    take_lock
    silence "${2:-}"
    ;;
noise-count)
    [ "$(id -u)" = 0 ] || die "needs root" 77
    take_lock
    noise_count
    ;;
ping-group)
    [ "$(id -u)" = 0 ] || die "needs root" 77
    take_lock
    ping_group "${2:-}"
    ;;
*)
    echo "usage: $0 up|down|status|silence on|off|noise-count|ping-group 'FIRST LAST'" >&2
    exit 2
    ;;
esac
