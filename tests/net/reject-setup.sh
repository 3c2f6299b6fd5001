#!/bin/sh
# Run by as-nobody.sh inside its namespace, before it drops root: one address of each family
# on lo whose echo requests the namespace itself refuses with an ICMP error as they come in
# (refused on the way out, the send itself would fail), so that errors reach the datagram
# socket without any packet leaving the namespace.
set -eu
ip addr add 192.0.2.1/32 dev lo
ip -6 addr add 2001:db8::1/128 dev lo nodad
nft -f - <<'RULES'
table inet vexlo_reject {
    chain in {
        type filter hook input priority 0;
        ip daddr 192.0.2.1 icmp type echo-request reject with icmp type admin-prohibited
        ip6 daddr 2001:db8::1 icmpv6 type echo-request reject with icmpv6 type admin-prohibited
    }
}
RULES
