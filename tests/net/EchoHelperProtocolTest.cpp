// What the raw-socket helper hands back for a request, decided on datagrams built here: only
// what answers that very request leaves the helper.
#include "net/EchoHelperProtocol.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

EchoHelper::TRequest Request() {
    EchoHelper::TRequest R;
    R.Family = 4;
    R.Length = 12;
    const uint8_t To[4] = {10, 0, 0, 7};
    std::copy(To, To + 4, R.Address);
    const uint8_t Echo[12] = {8, 0, 0x12, 0x34, 0xAB, 0xCD, 0x01, 0x02, 'p', 'i', 'n', 'g'};
    std::copy(Echo, Echo + 12, R.Echo);
    return R;
}

// An IPv4 header from AFrom to ATo carrying AIcmp.
Bytes Ip(uint8_t AFrom, uint8_t ATo, const Bytes& AIcmp) {
    Bytes D = {0x45, 0, 0, 0, 0, 0, 0, 0, 64, 1, 0, 0, 10, 0, 0, AFrom, 10, 0, 0, ATo};
    D.insert(D.end(), AIcmp.begin(), AIcmp.end());
    return D;
}

// ICMP message AType quoting what it was sent about.
Bytes Error(uint8_t AType, const Bytes& AQuoted) {
    Bytes D = {AType, 0, 0, 0, 0, 0, 0, 0};
    D.insert(D.end(), AQuoted.begin(), AQuoted.end());
    return D;
}

Bytes Cut(const Bytes& ABytes, size_t ALength) {
    return Bytes(ABytes.begin(), ABytes.begin() + static_cast<std::ptrdiff_t>(ALength));
}

const Bytes Ours = {8, 0, 0x12, 0x34, 0xAB, 0xCD, 0x01, 0x02, 'p', 'i', 'n', 'g'};
const Bytes Reply = {0, 0, 0, 0, 0xAB, 0xCD, 0x01, 0x02, 'p', 'i', 'n', 'g'};

TEST(EchoHelperProtocol, HandsBackOnlyWhatAnswersTheRequest) {
    Bytes OtherSequence = Reply;
    OtherSequence[7] = 3;
    Bytes OtherIdentifier = Reply;
    OtherIdentifier[4] = 0;
    Bytes Changed = Ours;
    Changed[11] = 'G';
    const struct {
        const char* What;
        Bytes Datagram;
        bool Answers;
    } Cases[] = {
        {"its echo reply", Ip(7, 2, Reply), true},
        {"its echo reply from another host (a broadcast's)", Ip(9, 2, Reply), true},
        {"another sequence", Ip(7, 2, OtherSequence), false},
        {"another identifier", Ip(7, 2, OtherIdentifier), false},
        {"the request itself, on loopback", Ip(2, 7, Ours), true},
        {"an echo request to someone else", Ip(2, 9, Ours), false},
        {"an altered copy of the request", Ip(2, 7, Changed), false},
        {"unreachable quoting it", Ip(1, 2, Error(3, Ip(2, 7, Ours))), true},
        {"time exceeded quoting its first 8 bytes", Ip(1, 2, Error(11, Ip(2, 7, Cut(Ours, 8)))),
         true},
        {"redirect quoting it", Ip(1, 2, Error(5, Ip(2, 7, Ours))), true},
        {"parameter problem quoting it", Ip(1, 2, Error(12, Ip(2, 7, Ours))), true},
        {"unreachable quoting a request to another host", Ip(1, 2, Error(3, Ip(2, 9, Ours))),
         false},
        {"unreachable quoting another sequence", Ip(1, 2, Error(3, Ip(2, 7, OtherSequence))),
         false},
        {"unreachable cut inside the quoted echo", Ip(1, 2, Error(3, Ip(2, 7, Cut(Ours, 7)))),
         false},
        {"unreachable cut inside the quoted header", Cut(Ip(1, 2, Error(3, Ip(2, 7, Ours))), 40),
         false},
        {"a timestamp reply", Ip(7, 2, Error(14, Ip(2, 7, Ours))), false},
        {"a router advertisement", Ip(7, 2, Error(9, {})), false},
        {"an empty datagram", {}, false},
        {"a header alone", Cut(Ip(7, 2, Reply), 20), false},
    };
    for (const auto& C : Cases) {
        EXPECT_EQ(EchoHelper::Answers(Request(), C.Datagram), C.Answers) << C.What;
    }
}

// An IPv6 request to 2001:db8::7, and what a raw ICMPv6 socket reads: no IP header.
EchoHelper::TRequest Request6() {
    EchoHelper::TRequest R = Request();
    R.Family = 6;
    const uint8_t To[16] = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7};
    std::copy(To, To + 16, R.Address);
    R.Echo[0] = 128;
    return R;
}

// An IPv6 header to host ATo of 2001:db8::/64, next header ANext, followed by AEcho.
Bytes Ip6(uint8_t ATo, const Bytes& AEcho, uint8_t ANext = 58) {
    Bytes D(40, 0);
    D[0] = 0x60;
    D[6] = ANext;
    D[7] = 64;
    const uint8_t Prefix[4] = {0x20, 0x01, 0x0d, 0xb8};
    std::copy(Prefix, Prefix + 4, D.begin() + 8);
    std::copy(Prefix, Prefix + 4, D.begin() + 24);
    D[39] = ATo;
    D.insert(D.end(), AEcho.begin(), AEcho.end());
    return D;
}

TEST(EchoHelperProtocol, HandsBackOnlyWhatAnswersAnIpv6Request) {
    Bytes Ours6 = Ours;
    Ours6[0] = 128;
    Bytes Reply6 = Reply;
    Reply6[0] = 129;
    Bytes OtherSequence = Reply6;
    OtherSequence[7] = 3;
    const struct {
        const char* What;
        Bytes Message;
        bool Answers;
    } Cases[] = {
        {"its echo reply", Reply6, true},
        {"another sequence", OtherSequence, false},
        {"an IPv4 echo reply's type", Reply, false},
        {"the request itself", Ours6, false},
        {"unreachable quoting it", Error(1, Ip6(7, Ours6)), true},
        {"packet too big quoting it", Error(2, Ip6(7, Ours6)), true},
        {"time exceeded quoting its first 8 bytes", Error(3, Ip6(7, Cut(Ours6, 8))), true},
        {"parameter problem quoting it", Error(4, Ip6(7, Ours6)), true},
        {"an unknown error type quoting it", Error(5, Ip6(7, Ours6)), false},
        {"a redirect", Error(137, Ip6(7, Ours6)), false},
        {"unreachable quoting a request to another host", Error(1, Ip6(9, Ours6)), false},
        {"unreachable quoting another sequence", Error(1, Ip6(7, OtherSequence)), false},
        {"unreachable quoting an extension header", Error(1, Ip6(7, Ours6, 0)), false},
        {"unreachable cut inside the quoted echo", Error(1, Ip6(7, Cut(Ours6, 7))), false},
        {"a header alone", Cut(Reply6, 7), false},
    };
    for (const auto& C : Cases) {
        EXPECT_EQ(EchoHelper::AnswersV6(Request6(), C.Message), C.Answers) << C.What;
    }
    EXPECT_FALSE(EchoHelper::AnswersV6(Request(), Reply6)) << "an IPv4 request";
}

// The helper's checks let through one kind of request per family and nothing else.
TEST(EchoHelperProtocol, AcceptsOnlyEachFamilysOwnEchoRequest) {
    std::string Accepted;
    for (int Family = 0; Family < 256; ++Family) {
        for (int Type = 0; Type < 256; ++Type) {
            for (const uint8_t Code : {0, 1, 255}) {
                EchoHelper::TRequest R = Request();
                R.Family = static_cast<uint8_t>(Family);
                R.Echo[0] = static_cast<uint8_t>(Type);
                R.Echo[1] = Code;
                EchoHelper::TRequest Out;
                const int Refusal =
                    EchoHelper::CheckRequest({reinterpret_cast<const uint8_t*>(&R), sizeof R}, Out);
                if (Refusal == 0) {
                    Accepted += std::to_string(Family) + "/" + std::to_string(Type) + "/" +
                                std::to_string(Code) + " ";
                } else {
                    ASSERT_EQ(Refusal, Family == 4 || Family == 6 ? ENOMSG : EBADMSG)
                        << Family << "/" << Type << "/" << int{Code};
                }
            }
        }
    }
    EXPECT_EQ(Accepted, "4/8/0 6/128/0 ");
}

} // namespace
