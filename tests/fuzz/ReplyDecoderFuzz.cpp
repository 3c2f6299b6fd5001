// Feeds arbitrary datagrams to a whole echo exchange. The first input byte splits the
// rest into up to four datagrams, so rejected-then-accepted sequences get explored too.
#include "FakeStack.h"
#include "net/IdException.h"
#include "net/IdIcmpClient.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    if (ASize < 1) {
        return 0;
    }
    TFakeStackScope Scope(0xFFFFFF00u, 0x0000ABCD);
    TIdIcmpClient Client;
    Client.SetHost("192.0.2.1");
    Client.SetReceiveTimeout(1000);
    const size_t Parts = 1 + AData[0] % 4;
    const size_t Body = ASize - 1;
    for (size_t I = 0; I < Parts; ++I) {
        const size_t From = 1 + Body * I / Parts;
        const size_t To = 1 + Body * (I + 1) / Parts;
        TFakeStack::Current->Queue.push_back(
            {std::vector<uint8_t>(AData + From, AData + To), 100, 0});
    }
    try {
        Client.PingOnce("  ", static_cast<uint16_t>(AData[0] | 0x100));
        const auto& S = Client.LastStatus();
        if (S.Kind != rkEchoReply && S.Kind != rkTimedOut && S.Kind != rkUnreachable &&
            S.Kind != rkTtlExpired) {
            __builtin_trap();
        }
        if (S.Kind != rkTimedOut && S.ByteCount <= 0) {
            __builtin_trap();
        }
    } catch (const EIdIcmpException&) {
    }
    if (Client.SocketBinding().IsOpen()) {
        __builtin_trap();
    }
    return 0;
}
