#include "tests/support/PingAccess.h"

#include "system/EchoHelperChannel.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
bool Opens(int AType, int AFamily = AF_INET, int AProtocol = IPPROTO_ICMP) {
    const int Socket = ::socket(AFamily, AType | SOCK_CLOEXEC, AProtocol);
    if (Socket < 0) {
        return false;
    }
    ::close(Socket);
    return true;
}
} // namespace

TPingAccess PingAccess() {
    // A process that gave its privilege to the helper sends raw through it.
    if (System::EchoHelperChannel() >= 0 || Opens(SOCK_RAW)) {
        return TPingAccess::Raw;
    }
    // The kernel admits the user's group through net.ipv4.ping_group_range, or not.
    return Opens(SOCK_DGRAM) ? TPingAccess::Datagram : TPingAccess::None;
}

TPingAccess Ping6Access() {
    if (System::EchoHelperChannel() >= 0 || Opens(SOCK_RAW, AF_INET6, IPPROTO_ICMPV6)) {
        return TPingAccess::Raw;
    }
    return Opens(SOCK_DGRAM, AF_INET6, IPPROTO_ICMPV6) ? TPingAccess::Datagram : TPingAccess::None;
}
