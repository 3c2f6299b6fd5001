#include "tests/support/PingAccess.h"

std::string PingAccessMismatch(TPingAccess AWanted) {
    const TPingAccess Have = PingAccess();
    if (Have == AWanted) {
        return {};
    }
    switch (Have) {
    case TPingAccess::Raw:
        return "this process may open raw ICMP sockets; the unprivileged run covers this";
    case TPingAccess::Datagram:
        return "this process pings only through the stand-in for the raw socket";
    case TPingAccess::None:
        break;
    }
    return "this process may not ping: no raw socket and no datagram socket for its group";
}
