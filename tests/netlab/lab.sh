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
# IPv6 beside it, in the unique-local fd76:0:0::/48 (V6 below: short, so that the window shows
# its addresses whole), one /64 a link:
#
#   cli V6:1::2 ── ::1 [r1] V6:2::1 ── ::2 [r2]         r1 and r2 route V6:80::/64
#                        │ V6:11::1 ── live  V6:11::2     to each other: a loop
#                        │            (and 2001:db8:5678:7631::/64, where its address is long)
#                        │ V6:12::1 ── quiet V6:12::2
#                        │ V6:13::1 ── craft V6:13::2
#                        │ V6:14::1 ── noise V6:14::2
#                        ├ no route to V6:50::/64: no route (1/0)
#                        ├ nft: forward to V6:40::/64 -> reject admin-prohibited (1/1)
#                        └ V6:11::99 has no host: neighbour discovery fails after ~3 s (1/3)
#
# The addresses skip duplicate address detection and every neighbour on a link is entered
# statically, so the very first exchange through a fresh link is answered; only V6:11::99
# is left to neighbour discovery. Nobody sends router advertisements or solicitations.
#
# Nothing is joined to the main namespace. While the lab is up the main namespace holds
# 'prohibit' routes for every lab prefix of either family, so a send into them from there
# fails locally instead of leaving through the default route.
set -euo pipefail

P=vxl
NOISE_HOST=203.0.113.14
NAMESPACES="cli r1 r2 live quiet craft noise"
PREFIXES="198.51.100.0/24 203.0.113.0/24"
V6=fd76:0:0
NOISE_HOST6=$V6:14::2
LONG_NET6=2001:db8:5678:7631
PREFIXES6="fd76::/48 2001:db8:5678::/48"
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
    # Every guard route, whichever version of this script laid it: their protocol is the lab's.
    ip -4 route flush proto $GUARD_PROTO 2>/dev/null || true
    ip -6 route flush proto $GUARD_PROTO 2>/dev/null || true
}

# What lab_down must leave: no namespace of the lab and no guard route.
check_gone() {
    local left
    left=$(ls /run/netns 2>/dev/null | grep "^$P-" || true)
    [ -z "$left" ] || die "namespaces left behind: $left"
    left=$(ip -4 route show proto $GUARD_PROTO; ip -6 route show proto $GUARD_PROTO)
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
    guards=$(ip -6 route show proto $GUARD_PROTO)
    for pfx in $PREFIXES6; do
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
    for pfx in $PREFIXES6; do
        found=$( { ip -6 route show table all root "$pfx"
                   ip -6 route show table all match "$pfx" | grep -Ev '^(default|::/0)' || true
                 } | grep -v "proto $GUARD_PROTO" || true)
        [ -z "$found" ] || die "main namespace already routes $pfx, refusing: $found" 3
    done
}

link() { # link NS1 IF1 ADDR1 NS2 IF2 ADDR2 [ADDR6_1 ADDR6_2]
    ip link add "$2" netns "$P-$1" type veth peer name "$5" netns "$P-$4"
    ip -n "$P-$1" addr add "$3" dev "$2"
    ip -n "$P-$4" addr add "$6" dev "$5"
    [ -z "${7:-}" ] || link6 "$1" "$2" "$7" "$4" "$5" "$8"
    ip -n "$P-$1" link set "$2" up
    ip -n "$P-$4" link set "$5" up
}

mac() { ip -n "$P-$1" -o link show dev "$2" | sed -n 's/.*link\/ether \([0-9a-f:]*\).*/\1/p'; }

# An IPv6 address (with its /64) on each end of a link, each end knowing the other's for good.
link6() { # link6 NS1 IF1 ADDR6_1 NS2 IF2 ADDR6_2
    ip -n "$P-$1" addr add "$3/64" dev "$2" nodad
    ip -n "$P-$4" addr add "$6/64" dev "$5" nodad
    ip -n "$P-$1" neigh replace "$6" lladdr "$(mac "$4" "$5")" dev "$2" nud permanent
    ip -n "$P-$4" neigh replace "$3" lladdr "$(mac "$1" "$2")" dev "$5" nud permanent
}

lab_up() {
    command -v nft >/dev/null || die "nft not found"
    lab_down
    check_main_namespace
    for pfx in $PREFIXES; do ip route add prohibit "$pfx" proto $GUARD_PROTO metric 4000; done
    for pfx in $PREFIXES6; do ip -6 route add prohibit "$pfx" proto $GUARD_PROTO metric 4000; done
    # From here on a failure must not leave half a lab behind.
    trap 'rc=$?; [ "$rc" = 0 ] || lab_down' EXIT

    local n
    for n in $NAMESPACES; do
        ip netns add "$P-$n"
        ip -n "$P-$n" link set lo up
        # Set before the links exist: new interfaces copy 'default'. No duplicate address
        # detection, so that every address works at once, link-local ones included.
        in_ns "$n" sysctl -qw net.ipv4.conf.all.send_redirects=0 net.ipv4.conf.default.send_redirects=0 \
            net.ipv4.conf.all.accept_redirects=0 net.ipv4.conf.default.accept_redirects=0 \
            net.ipv6.conf.all.accept_dad=0 net.ipv6.conf.default.accept_dad=0 \
            net.ipv6.conf.all.accept_ra=0 net.ipv6.conf.default.accept_ra=0 \
            net.ipv6.conf.all.router_solicitations=0 net.ipv6.conf.default.router_solicitations=0 \
            net.ipv6.conf.all.accept_redirects=0 net.ipv6.conf.default.accept_redirects=0
    done
    # The routers answer every error at once: icmp_ratemask=0 exempts all types from both
    # the per-peer and the global limiter (icmp_ratelimit=0 would not spare the global one).
    # IPv6 has the same pair, its mask a list of types: empty, it exempts them all.
    for n in r1 r2; do
        in_ns "$n" sysctl -qw net.ipv4.ip_forward=1 net.ipv4.icmp_ratemask=0 \
            net.ipv6.conf.all.forwarding=1 net.ipv6.icmp.ratelimit=0
        in_ns "$n" sh -c 'echo > /proc/sys/net/ipv6/icmp/ratemask'
    done
    in_ns quiet sysctl -qw net.ipv4.icmp_echo_ignore_all=1 net.ipv6.icmp.echo_ignore_all=1
    in_ns craft sysctl -qw net.ipv4.icmp_echo_ignore_all=1 net.ipv6.icmp.echo_ignore_all=1

    link cli c0 198.51.100.2/30 r1 r1c 198.51.100.1/30 $V6:1::2 $V6:1::1
    link r1 r1r2 198.51.100.5/30 r2 r2r1 198.51.100.6/30 $V6:2::1 $V6:2::2
    link r1 r1l 203.0.113.1/30 live h0 203.0.113.2/30 $V6:11::1 $V6:11::2
    link r1 r1q 203.0.113.5/30 quiet h0 203.0.113.6/30 $V6:12::1 $V6:12::2
    link r1 r1k 203.0.113.9/30 craft h0 203.0.113.10/30 $V6:13::1 $V6:13::2
    link r1 r1n 203.0.113.13/30 noise h0 $NOISE_HOST/30 $V6:14::1 $NOISE_HOST6
    # A second prefix on the live host's link, whose address uses all eight groups: the
    # longest text an address of a real host has.
    link6 r1 r1l $LONG_NET6::1 live h0 $LONG_NET6:7665:786c:6162:6c76
    in_ns cli sysctl -qw net.ipv4.conf.c0.accept_redirects=0 net.ipv6.conf.c0.accept_redirects=0

    ip -n $P-cli route add default via 198.51.100.1
    ip -n $P-live route add default via 203.0.113.1
    ip -n $P-quiet route add default via 203.0.113.5
    ip -n $P-craft route add default via 203.0.113.9
    ip -n $P-noise route add default via 203.0.113.13
    ip -n $P-r2 route add default via 198.51.100.5
    ip -n $P-r1 route add 203.0.113.128/28 via 198.51.100.6
    ip -n $P-r2 route add 203.0.113.128/28 via 198.51.100.5
    ip -n $P-cli -6 route add default via $V6:1::1
    ip -n $P-live -6 route add default via $V6:11::1
    ip -n $P-quiet -6 route add default via $V6:12::1
    ip -n $P-craft -6 route add default via $V6:13::1
    ip -n $P-noise -6 route add default via $V6:14::1
    ip -n $P-r2 -6 route add default via $V6:2::1
    ip -n $P-r1 -6 route add $V6:80::/64 via $V6:2::2
    ip -n $P-r2 -6 route add $V6:80::/64 via $V6:2::1
    # As for IPv4, the rejected prefix has a route; V6:50::/64 has none, so r1 answers
    # "no route" for it.
    ip -n $P-r1 -6 route add $V6:40::/64 via $V6:2::2
    # The rejected prefix needs a route, or r1 answers from its routing code, whose
    # unreachables are rate-limited per host (error_cost/error_burst) regardless of ratemask.
    ip -n $P-r1 route add 203.0.113.64/28 via 198.51.100.6
    in_ns r1 nft -f - <<EOF
table ip vxl {
    chain forward {
        type filter hook forward priority 0; policy accept;
        ip daddr 203.0.113.64/28 reject with icmp type host-unreachable
    }
}
table ip6 vxl {
    chain forward {
        type filter hook forward priority 0; policy accept;
        ip6 daddr $V6:40::/64 reject with icmpv6 type admin-prohibited
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
table ip6 vxl {
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
table ip6 vxl {
    counter noise {
    }
    chain input {
        type filter hook input priority 0; policy accept;
        ip6 saddr $NOISE_HOST6 counter name "noise"
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
    in_ns craft nft flush chain ip6 vxl input
    [ "$1" = off ] || in_ns craft nft add rule ip vxl input icmp type echo-request drop
    [ "$1" = off ] || in_ns craft nft add rule ip6 vxl input icmpv6 type echo-request drop
}

ping_group() {
    [[ ${1:-} =~ ^[0-9]+\ [0-9]+$ ]] || die "usage: $0 ping-group 'FIRST LAST'" 2
    in_ns cli sysctl -qw "net.ipv4.ping_group_range=$1"
}

# Of both families: a soak floods in one at a time.
noise_count() {
    local v4 v6
    v4=$(in_ns cli nft list counter ip vxl noise | sed -n 's/.*packets \([0-9]*\).*/\1/p')
    v6=$(in_ns cli nft list counter ip6 vxl noise | sed -n 's/.*packets \([0-9]*\).*/\1/p')
    echo $((v4 + v6))
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
