// The datagram socket's receive path from the point where recvmsg has returned: fuzzed
// control messages, address and message bytes are read into the facts of a reply or of an
// error-queue record with its offender, framed into what a raw socket would have read, and
// handed to the reply decoder. The frames must come out well formed whatever came in.
//
// Input: [0] bit 0: an error-queue entry, else a reply; [1..2] the kernel's identifier,
// [3..4] the client's; [5] the request's TTL, [6..7] its length; [8] the address's length
// (up to 16), [9..24] its bytes; [25] how many control messages (up to 3), [26] how many
// bytes the kernel cut from the end of the control part. Then each control message:
// [0] its kind (0 TTL, 1 our address, 2 the error record, any other value itself as level
// and type), [1] what its length claims beyond its data (signed), [2] its data's length (up
// to 63), then the data. The rest is the message: a reply's ICMP message, or the part of
// our request an error quotes. The control messages are laid out as the kernel lays them
// out, so that the fuzzer reaches the records behind the headers, and their lengths and the
// cut are free to lie.
#include "net/IdEchoReply.h"
#include "net/posix/IcmpDatagramControl.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <netinet/in.h>
#include <span>
#include <vector>

namespace {
using namespace IcmpFrames;
using namespace IdPosix;

constexpr size_t FixedBytes = 27;

// Lays out the control messages that the input describes from AAt on; moves AAt past them.
std::vector<uint8_t> ControlPart(const uint8_t* AData, size_t ASize, size_t& AAt) {
    std::vector<uint8_t> Control;
    for (int Left = AData[25] & 3; Left > 0 && AAt + 3 <= ASize; --Left) {
        const uint8_t Kind = AData[AAt];
        const auto Claim = static_cast<int8_t>(AData[AAt + 1]);
        const size_t Bytes = std::min<size_t>(AData[AAt + 2] & 63, ASize - AAt - 3);
        AAt += 3;
        cmsghdr Header{};
        Header.cmsg_level = Kind < 3 ? IPPROTO_IP : Kind;
        Header.cmsg_type = Kind == 0   ? IP_TTL
                           : Kind == 1 ? IP_PKTINFO
                           : Kind == 2 ? IP_RECVERR
                                       : Kind;
        Header.cmsg_len = static_cast<size_t>(static_cast<ptrdiff_t>(CMSG_LEN(Bytes)) + Claim);
        const size_t At = Control.size();
        Control.resize(At + CMSG_SPACE(Bytes));
        std::memcpy(&Control[At], &Header, sizeof Header);
        std::memcpy(&Control[At + CMSG_LEN(0)], AData + AAt, Bytes);
        AAt += Bytes;
    }
    // What recvmsg reports in msg_controllen: a kernel out of room cuts it (MSG_CTRUNC).
    Control.resize(Control.size() - std::min<size_t>(AData[26], Control.size()));
    return Control;
}

void Check(bool ACondition) {
    if (!ACondition) {
        __builtin_trap();
    }
}

uint16_t Be16(const std::vector<uint8_t>& D, size_t AAt) {
    return static_cast<uint16_t>((D[AAt] << 8) | D[AAt + 1]);
}

// A header the framing wrote: 20 bytes of version 4, protocol ICMP, this length (as far as
// 16 bits hold it) and a checksum that verifies.
void CheckIpv4Header(const std::vector<uint8_t>& D, size_t AAt, size_t ATotal) {
    Check(D[AAt] == 0x45 && D[AAt + 9] == 1);
    Check(Be16(D, AAt + 2) == std::min<size_t>(ATotal, 0xFFFF));
    Check(InternetChecksum({&D[AAt], Ipv4HeaderBytes}) == 0);
}

// Every control message found lies whole inside the control part.
void CheckControlData(const msghdr& AReceived, const std::vector<uint8_t>& AControl) {
    for (const int Type : {IP_TTL, IP_PKTINFO, IP_RECVERR}) {
        const auto Data = ControlData(AReceived, IPPROTO_IP, Type);
        Check(Data.empty() || (Data.data() >= AControl.data() &&
                               Data.data() + Data.size() <= AControl.data() + AControl.size()));
    }
}

// The identifier of the client's echo header, where the message holds it, and a checksum
// that verified before the translation verifies after it.
void CheckTranslation(std::span<const uint8_t> ABefore, std::span<const uint8_t> AAfter,
                      TIdentifier AKernel, TIdentifier AClient) {
    if (AKernel == AClient) {
        Check(std::equal(ABefore.begin(), ABefore.end(), AAfter.begin(), AAfter.end()));
        return;
    }
    for (size_t I = 4; I < std::min<size_t>(AAfter.size(), 6); ++I) {
        Check(AAfter[I] == AClient.Bytes[I - 4]);
    }
    if (ABefore.size() >= IcmpHeaderBytes && InternetChecksum(ABefore) == 0) {
        Check(InternetChecksum(AAfter) == 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    if (ASize < FixedBytes) {
        return 0;
    }
    const bool IsError = (AData[0] & 1) != 0;
    const TIdentifier Kernel{{AData[1], AData[2]}};
    const TIdentifier Client{{AData[3], AData[4]}};
    const uint8_t RequestTtl = AData[5];
    const auto RequestBytes = static_cast<uint16_t>((AData[6] << 8) | AData[7]);
    // Exactly as long as the input says, so that a read past it shows.
    std::vector<uint8_t> Name(AData + 9, AData + 9 + std::min<size_t>(AData[8], 16));
    size_t At = FixedBytes;
    const std::vector<uint8_t> Laid = ControlPart(AData, ASize, At);
    const std::span<const uint8_t> Message(AData + At, ASize - At);

    msghdr Received{};
    Received.msg_name = Name.empty() ? nullptr : Name.data();
    Received.msg_namelen = static_cast<socklen_t>(Name.size());
    // A copy holds no room beyond its bytes, so that a read past the cut shows.
    std::vector<uint8_t> Control(Laid);
    Received.msg_control = Control.empty() ? nullptr : Control.data();
    Received.msg_controllen = Control.size();
    CheckControlData(Received, Control);

    const size_t Prefix = IsError ? ErrorPrefixBytes : Ipv4HeaderBytes;
    std::vector<uint8_t> D(Prefix, 0xCC);
    D.insert(D.end(), Message.begin(), Message.end());
    if (IsError) {
        TErrorFacts Facts;
        if (!ErrorFactsOf(Received, Facts)) {
            return 0;
        }
        Facts.RequestTtl = RequestTtl;
        Facts.RequestBytes = RequestBytes;
        FrameError(Facts, D, Message.size(), Kernel, Client);
        CheckIpv4Header(D, 0, D.size());
        Check(D[8] == Facts.Ttl && std::memcmp(&D[12], Facts.Offender, 4) == 0);
        Check(D[20] == Facts.Type && D[21] == Facts.Code);
        Check(InternetChecksum({&D[Ipv4HeaderBytes], D.size() - Ipv4HeaderBytes}) == 0);
        CheckIpv4Header(D, Ipv4HeaderBytes + IcmpHeaderBytes, Ipv4HeaderBytes + RequestBytes);
        CheckTranslation(Message, std::span(D).subspan(ErrorPrefixBytes), Kernel, Client);
    } else {
        const TReplyFacts Facts = ReplyFactsOf(Received);
        FrameReply(Facts, D, Message.size(), Kernel, Client);
        CheckIpv4Header(D, 0, D.size());
        Check(D[8] == Facts.Ttl && std::memcmp(&D[12], Facts.Source, 4) == 0);
        CheckTranslation(Message, std::span(D).subspan(Ipv4HeaderBytes), Kernel, Client);
    }

    // The decoder reads the frame as it reads a raw socket's datagram.
    const auto Identifier = static_cast<uint16_t>(Client.Bytes[0] | (Client.Bytes[1] << 8));
    // Asked for the sequence the echo header carries, so that replies and errors about our
    // requests get past the matching and on to the reading of the frame.
    const auto Sequence =
        D.size() >= Prefix + 8 ? static_cast<uint16_t>(D[Prefix + 6] | (D[Prefix + 7] << 8)) : 0;
    const TDecodedReply Reply = DecodeEchoReply(D, Identifier, Sequence);
    if (Reply.Decision == TReplyDecision::Accepted) {
        Check(Reply.Status.ByteCount == static_cast<int32_t>(D.size()));
        Check(Reply.Status.Ttl == D[8]);
    }
    return 0;
}
