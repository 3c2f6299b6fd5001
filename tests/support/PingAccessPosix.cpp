#include "tests/support/PingAccess.h"

#include "system/EchoHelperChannel.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
bool Opens(int AType) {
    const int Socket = ::socket(AF_INET, AType | SOCK_CLOEXEC, IPPROTO_ICMP);
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
