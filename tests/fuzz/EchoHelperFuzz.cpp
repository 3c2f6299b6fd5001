// The raw-socket helper's checks on arbitrary bytes: the first part of the input is taken as
// a request, the rest as a datagram its raw socket of the request's family read. A request
// let through is an echo request of its family; a datagram handed back is an ICMP message
// that carries the request's identifier and sequence.
#include "net/EchoHelperProtocol.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    const size_t RequestBytes =
        ASize < sizeof(EchoHelper::TRequest) ? ASize : sizeof(EchoHelper::TRequest);
    EchoHelper::TRequest Request;
    if (EchoHelper::CheckRequest({AData, RequestBytes}, Request) != 0) {
        return 0;
    }
    const bool Six = Request.Family == 6;
    if (Request.Echo[0] != (Six ? 128 : 8) || Request.Echo[1] != 0 ||
        (Request.Family != 4 && !Six) || Request.Length < 8 ||
        Request.Length > EchoHelper::MaxEchoBytes) {
        __builtin_trap();
    }
    const std::span<const uint8_t> Datagram(AData + RequestBytes, ASize - RequestBytes);
    if (Six) {
        // An ICMPv6 message, no IP header: a reply or an error quoting the request's echo.
        if (!EchoHelper::AnswersV6(Request, Datagram)) {
            return 0;
        }
        const size_t Echo = Datagram[0] == 129 ? 0 : 48;
        if (Datagram.size() < Echo + 8 ||
            std::memcmp(&Datagram[Echo + 4], Request.Echo + 4, 4) != 0) {
            __builtin_trap();
        }
        return 0;
    }
    if (!EchoHelper::Answers(Request, Datagram)) {
        return 0;
    }
    const size_t Header = static_cast<size_t>(Datagram[0] & 0x0F) * 4;
    if (Datagram.size() < Header + 8 || Datagram[9] != 1) {
        __builtin_trap();
    }
    if (Datagram[Header] == 0 && std::memcmp(&Datagram[Header + 4], Request.Echo + 4, 4) != 0) {
        __builtin_trap();
    }
    return 0;
}
