// PingOnce to 127.0.0.1 against the floor: a minimal raw-socket exchange that also opens
// the socket, sets IP_TTL and closes it each time, in this process and again with each
// exchange made by the raw-socket helper, as the window's process does when started with the
// privilege. Prints medians, p99 and their ratio,
// then checks that many exchanges leave descriptors and resident memory where they were.
// Then the same for a user without raw-socket privilege, whose PingOnce goes through the
// ICMP datagram socket, against a floor of its own (open a datagram ICMP socket, send,
// wait, receive, close). Run as root, that half runs in a child made nobody without any
// capability, in a network namespace of its own whose ping_group_range admits nobody.
// Each is measured for 127.0.0.1 and again for ::1, over ICMPv6 against floors of its own.
// Sends only to 127.0.0.1 and ::1.
#include "app/posix/RawSocketHelper.h"
#include "net/IdException.h"
#include "net/IdIcmpClient.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <grp.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <sched.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

double Micros(Clock::duration D) {
    return std::chrono::duration<double, std::micro>(D).count();
}

uint16_t Checksum(const uint8_t* P, size_t N) {
    uint32_t Sum = 0;
    for (size_t I = 0; I + 1 < N; I += 2) {
        Sum += static_cast<uint32_t>((P[I] << 8) | P[I + 1]);
    }
    while (Sum >> 16) {
        Sum = (Sum & 0xFFFF) + (Sum >> 16);
    }
    return static_cast<uint16_t>(~Sum);
}

// What every floor does once its socket is open: set the client's TTL (hop limit), send a
// 52-byte echo request to 127.0.0.1 (::1), wait for the datagram that AIsAnswer takes, close.
template <typename TIsAnswer>
bool FloorSendAndWait(int AS, bool ASix, uint8_t (&ARequest)[52], TIsAnswer AIsAnswer) {
    const int Ttl = 128;
    if (ASix) {
        ::setsockopt(AS, IPPROTO_IPV6, IPV6_UNICAST_HOPS, &Ttl, sizeof Ttl);
        sockaddr_in6 To{};
        To.sin6_family = AF_INET6;
        To.sin6_addr = in6addr_loopback;
        ::sendto(AS, ARequest, sizeof ARequest, 0, reinterpret_cast<sockaddr*>(&To), sizeof To);
    } else {
        ::setsockopt(AS, IPPROTO_IP, IP_TTL, &Ttl, sizeof Ttl);
        sockaddr_in To{};
        To.sin_family = AF_INET;
        To.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::sendto(AS, ARequest, sizeof ARequest, 0, reinterpret_cast<sockaddr*>(&To), sizeof To);
    }
    bool Got = false;
    uint8_t Buf[1024];
    pollfd P{AS, POLLIN, 0};
    while (!Got && ::poll(&P, 1, 1000) == 1) {
        const ssize_t N = ::recv(AS, Buf, sizeof Buf, 0);
        Got = AIsAnswer(Buf, N);
    }
    ::close(AS);
    return Got;
}

// The floor: the least a program can do for one exchange with the same socket life. Over
// ICMPv6 the kernel writes the checksum, and the reply comes without an IP header; the
// raw socket also reads the request itself, which its type tells apart.
bool FloorExchange(uint16_t AId, uint16_t ASeq, bool ASix = false) {
    const int S = ASix ? ::socket(AF_INET6, SOCK_RAW, IPPROTO_ICMPV6)
                       : ::socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
    if (S < 0) {
        return false;
    }
    uint8_t Req[52] = {static_cast<uint8_t>(ASix ? 128 : 8), 0, 0, 0};
    std::memcpy(Req + 4, &AId, 2);
    std::memcpy(Req + 6, &ASeq, 2);
    std::memset(Req + 20, 0x45, 32);
    if (!ASix) {
        const uint16_t C = htons(Checksum(Req, sizeof Req));
        std::memcpy(Req + 2, &C, 2);
    }
    return FloorSendAndWait(S, ASix, Req, [&](const uint8_t* ABuf, ssize_t AN) {
        const int H = ASix ? 0 : (ABuf[0] & 15) * 4;
        return AN >= H + 8 && (!ASix || ABuf[0] == 129) &&
               std::memcmp(ABuf + H + 4, Req + 4, 4) == 0;
    });
}

// The datagram socket's floor: the kernel writes identifier and checksum. Like the raw
// floor it sends with the client's TTL, 128, where the datagram socket's default is 64.
// With AAsTheAdapter, it also sets the options and the bind that the adapter needs to hand
// on what a raw socket reads: what remains between that and PingOnce is the program's own.
bool DatagramFloorExchange(uint16_t ASeq, bool AAsTheAdapter = false, bool ASix = false) {
    const int S = ASix ? ::socket(AF_INET6, SOCK_DGRAM, IPPROTO_ICMPV6)
                       : ::socket(AF_INET, SOCK_DGRAM, IPPROTO_ICMP);
    if (S < 0) {
        return false;
    }
    const auto Port = htons(static_cast<uint16_t>(::getpid() ^ 0x5A5A));
    if (AAsTheAdapter && ASix) {
        const int On = 1;
        ::setsockopt(S, IPPROTO_IPV6, IPV6_RECVERR, &On, sizeof On);
        ::setsockopt(S, IPPROTO_IPV6, IPV6_RECVHOPLIMIT, &On, sizeof On);
        ::setsockopt(S, IPPROTO_IPV6, IPV6_RECVPKTINFO, &On, sizeof On);
        sockaddr_in6 Own{};
        Own.sin6_family = AF_INET6;
        Own.sin6_port = Port;
        ::bind(S, reinterpret_cast<sockaddr*>(&Own), sizeof Own);
    } else if (AAsTheAdapter) {
        const int On = 1;
        ::setsockopt(S, IPPROTO_IP, IP_RECVERR, &On, sizeof On);
        ::setsockopt(S, IPPROTO_IP, IP_RECVTTL, &On, sizeof On);
        ::setsockopt(S, IPPROTO_IP, IP_PKTINFO, &On, sizeof On);
        sockaddr_in Own{};
        Own.sin_family = AF_INET;
        Own.sin_port = Port;
        ::bind(S, reinterpret_cast<sockaddr*>(&Own), sizeof Own);
    }
    uint8_t Req[52] = {static_cast<uint8_t>(ASix ? 128 : 8), 0, 0, 0};
    std::memcpy(Req + 6, &ASeq, 2);
    std::memset(Req + 20, 0x45, 32);
    const uint8_t Reply = ASix ? 129 : 0;
    return FloorSendAndWait(S, ASix, Req, [&](const uint8_t* ABuf, ssize_t AN) {
        return AN >= 8 && ABuf[0] == Reply && std::memcmp(ABuf + 6, Req + 6, 2) == 0;
    });
}

struct TFigures {
    double Median, P99;
};
TFigures Summarise(std::vector<double> ATimes) {
    std::sort(ATimes.begin(), ATimes.end());
    return {ATimes[ATimes.size() / 2], ATimes[ATimes.size() * 99 / 100]};
}

int OpenDescriptors() {
    int Count = 0;
    if (DIR* D = ::opendir("/proc/self/fd")) {
        while (::readdir(D) != nullptr) {
            ++Count;
        }
        ::closedir(D);
    }
    return Count - 3; // ".", ".." and the directory's own descriptor
}

long ResidentKb() {
    std::ifstream Status("/proc/self/status");
    std::string Line;
    while (std::getline(Status, Line)) {
        if (Line.rfind("VmRSS:", 0) == 0) {
            return std::atol(Line.c_str() + 6);
        }
    }
    return -1;
}
bool RawSocketAllowed() {
    const int S = ::socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
    if (S < 0) {
        return false;
    }
    ::close(S);
    return true;
}

// PingOnce through the datagram socket to AHost against its floor, and a soak, in this
// process, which must have no raw-socket privilege. 0 when it ran.
int DatagramBench(int ARounds, int ASoak, const char* AHost) {
    if (RawSocketAllowed()) {
        std::printf("datagram: not measured, this process may open raw sockets\n");
        return 2;
    }
    const bool Six = AHost[0] == ':';
    const char* Label = Six ? "datagram ::1" : "datagram";
    TIdIcmpClient Client;
    Client.SetHost(AHost);
    Client.SetReceiveTimeout(1000);
    try {
        Client.PingOnce("  ");
    } catch (const Exception& E) {
        std::printf("%s: %s (ping_group_range admits none of this user's groups)\n", Label,
                    E.Message().c_str());
        return 2;
    }
    std::vector<double> Ours, Floor, Adapter;
    Ours.reserve(ARounds);
    Floor.reserve(ARounds);
    Adapter.reserve(ARounds);
    int FloorMissed = 0;
    for (int I = 0; I < ARounds; ++I) {
        auto T = Clock::now();
        Client.PingOnce("  ");
        Ours.push_back(Micros(Clock::now() - T));
        T = Clock::now();
        FloorMissed += DatagramFloorExchange(static_cast<uint16_t>(I), false, Six) ? 0 : 1;
        Floor.push_back(Micros(Clock::now() - T));
        T = Clock::now();
        FloorMissed += DatagramFloorExchange(static_cast<uint16_t>(I), true, Six) ? 0 : 1;
        Adapter.push_back(Micros(Clock::now() - T));
    }
    const auto O = Summarise(Ours);
    const auto F = Summarise(Floor);
    const auto A = Summarise(Adapter);
    std::printf("%s PingOnce median %8.1f us   p99 %8.1f us\n", Label, O.Median, O.P99);
    std::printf("%s floor    median %8.1f us   p99 %8.1f us   (missed %d)\n", Label, F.Median,
                F.P99, FloorMissed);
    std::printf("  floor with the adapter's options and bind: median %.1f us (%.2f of the floor)\n",
                A.Median, A.Median / F.Median);
    std::printf("%s ratio of medians %.2f (target <= 1.25)\n", Label, O.Median / F.Median);
    const int FdsBefore = OpenDescriptors();
    const long RssBefore = ResidentKb();
    int Replies = 0;
    for (int I = 0; I < ASoak; ++I) {
        Client.PingOnce("  ");
        Replies += Client.LastStatus().Kind == rkEchoReply;
    }
    std::printf("%s soak: %d exchanges, %d replies; descriptors %d -> %d; resident %ld -> "
                "%ld kB\n",
                Label, ASoak, Replies, FdsBefore, OpenDescriptors(), RssBefore, ResidentKb());
    return 0;
}

// Both families, IPv4 first; the first that cannot run tells why.
int DatagramBenches(int ARounds, int ASoak) {
    const int Rc = DatagramBench(ARounds, ASoak, "127.0.0.1");
    if (Rc != 0) {
        return Rc;
    }
    std::printf("\n");
    return DatagramBench(ARounds, ASoak, "::1");
}

// PingOnce against the raw floor of the client's family, interleaved so that both see the
// same machine load.
void RawFigures(TIdIcmpClient& AClient, int ARounds, const char* ALabel) {
    const bool Six = AClient.Host() == "::1";
    const uint16_t Id = static_cast<uint16_t>(::getpid() ^ 0x5A5A);
    std::vector<double> Ours, Floor;
    Ours.reserve(ARounds);
    Floor.reserve(ARounds);
    for (int I = 0; I < ARounds; ++I) {
        auto T = Clock::now();
        AClient.PingOnce("  ");
        Ours.push_back(Micros(Clock::now() - T));
        T = Clock::now();
        FloorExchange(Id, static_cast<uint16_t>(I), Six);
        Floor.push_back(Micros(Clock::now() - T));
    }
    const auto O = Summarise(Ours);
    const auto F = Summarise(Floor);
    std::printf("%sPingOnce   median %8.1f us   p99 %8.1f us\n", ALabel, O.Median, O.P99);
    std::printf("%sfloor      median %8.1f us   p99 %8.1f us\n", ALabel, F.Median, F.P99);
    // Through the helper each exchange costs a round trip to another process on top, and the
    // floor beside it shares the machine with the helper's socket, as the program's would.
    std::printf("%sratio of medians        %.2f (target <= 1.25%s)\n", ALabel, O.Median / F.Median,
                std::strstr(ALabel, "helper") ? ", the helper's round trip included" : "");
}

// A child that is nobody without any capability in a namespace of its own with lo up and
// ping sockets open to nobody's group; the machine's own settings stay as they are.
int DatagramBenchAsNobody(int ARounds, int ASoak) {
    std::fflush(stdout);
    const pid_t Child = ::fork();
    if (Child == 0) {
        const passwd* Nobody = ::getpwnam("nobody");
        const uid_t Uid = Nobody ? Nobody->pw_uid : 65534;
        const gid_t Gid = Nobody ? Nobody->pw_gid : 65534;
        if (::unshare(CLONE_NEWNET) != 0) {
            std::perror("datagram: unshare");
            ::_exit(2);
        }
        const int S = ::socket(AF_INET, SOCK_DGRAM, 0);
        ifreq Lo{};
        std::strcpy(Lo.ifr_name, "lo");
        ::ioctl(S, SIOCGIFFLAGS, &Lo);
        Lo.ifr_flags = static_cast<short>(Lo.ifr_flags | IFF_UP);
        ::ioctl(S, SIOCSIFFLAGS, &Lo);
        ::close(S);
        std::ofstream("/proc/sys/net/ipv4/ping_group_range") << Gid << " " << Gid << "\n";
        // Leaving root for good clears every capability.
        if (::setgroups(0, nullptr) != 0 || ::setresgid(Gid, Gid, Gid) != 0 ||
            ::setresuid(Uid, Uid, Uid) != 0) {
            std::perror("datagram: becoming nobody");
            ::_exit(2);
        }
        const int Rc = DatagramBenches(ARounds, ASoak);
        std::fflush(stdout);
        ::_exit(Rc);
    }
    int Status = 0;
    ::waitpid(Child, &Status, 0);
    return WIFEXITED(Status) ? WEXITSTATUS(Status) : 2;
}

} // namespace

int main(int argc, char** argv) {
    const int Rounds = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int Soak = argc > 2 ? std::atoi(argv[2]) : 10000;
    if (!RawSocketAllowed()) {
        std::printf("raw: not measured (raw sockets need root or CAP_NET_RAW)\n");
        return DatagramBenches(Rounds, Soak);
    }
    TIdIcmpClient Client;
    Client.SetHost("127.0.0.1");
    Client.SetReceiveTimeout(1000);
    try {
        Client.PingOnce("  ");
    } catch (const Exception& E) {
        std::printf("bench_ping: %s (raw sockets need root or CAP_NET_RAW)\n", E.Message().c_str());
        return 2;
    }
    std::printf("exchanges per side      %d\n", Rounds);
    RawFigures(Client, Rounds, "");
    TIdIcmpClient Client6;
    Client6.SetHost("::1");
    Client6.SetReceiveTimeout(1000);
    RawFigures(Client6, Rounds, "::1 ");
    // The window's process, started with the privilege, asks its helper for every socket.
    std::fflush(stdout);
    if (const pid_t Child = ::fork(); Child == 0) {
        TIdIcmpClient Helped;
        Helped.SetHost("127.0.0.1");
        Helped.SetReceiveTimeout(1000);
        const int Rc = RawSocketHelper::Start() ? (RawFigures(Helped, Rounds, "helper "), 0) : 2;
        if (Rc == 0) {
            Helped.SetHost("::1");
            RawFigures(Helped, Rounds, "helper ::1 ");
        }
        std::fflush(stdout);
        ::_exit(Rc);
    } else {
        ::waitpid(Child, nullptr, 0);
    }

    const int FdsBefore = OpenDescriptors();
    const long RssBefore = ResidentKb();
    int Replies = 0;
    for (int I = 0; I < Soak; ++I) {
        Client.PingOnce("  ");
        Replies += Client.LastStatus().Kind == rkEchoReply;
    }
    std::printf("soak: %d exchanges, %d replies; descriptors %d -> %d; resident %ld -> %ld kB\n",
                Soak, Replies, FdsBefore, OpenDescriptors(), RssBefore, ResidentKb());
    if (::geteuid() != 0) {
        return 0; // raw sockets through a capability: no way to be nobody from here
    }
    std::printf("\n");
    return DatagramBenchAsNobody(Rounds, Soak);
}
