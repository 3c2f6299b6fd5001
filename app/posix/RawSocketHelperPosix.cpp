// The helper that holds the raw-socket privilege for the window's process. It is started
// before any thread or any Qt code exists, as the helper program or else as a fork, keeps
// nothing of the window's process but its end of a socket pair, opens its raw ICMP and ICMPv6
// sockets and then holds no capability at all: a raw socket keeps working without the
// privilege that opened it.
#include "app/posix/RawSocketHelper.h"

#include "net/EchoHelperProtocol.h"
#include "net/IcmpFrames.h"
#include "net/posix/Icmp6RawPosix.h"
#include "system/EchoHelperChannel.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <linux/close_range.h>
#include <linux/icmp.h>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <span>
#include <spawn.h>
#include <string>
#include <sys/capability.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace RawSocketHelper {
namespace {

std::mutex Lock;
int WindowChannel = -1;
pid_t HelperPid = 0;

// Messages handed back for one request: on loopback the request and its reply, else one
// reply or a few errors. Past this, or past the time below, a request has had its answer.
constexpr int MaxAnswersPerRequest = 16;
constexpr auto AnswerWindow = std::chrono::seconds(2);
// Raw messages read in one turn before the channel is looked at again: a flood of foreign
// ICMP must not keep a request waiting.
constexpr int ReadsPerTurn = 64;

bool MayOpenRawSockets() {
    cap_t Caps = ::cap_get_proc();
    if (Caps == nullptr) {
        return false;
    }
    cap_flag_value_t Permitted = CAP_CLEAR;
    ::cap_get_flag(Caps, CAP_NET_RAW, CAP_PERMITTED, &Permitted);
    ::cap_free(Caps);
    return Permitted == CAP_SET;
}

struct TRawSockets {
    int Four = -1;
    int Six = -1; // -1 where the system has no IPv6: IPv6 requests then fail to send
};

// Opens the raw sockets and gives up every capability: no bounding set (where the process
// may narrow it), no new privileges through exec, and no debugger of the same user may
// attach and borrow a socket. Four is -1 when any step fails.
TRawSockets OpenSocketsAndLetGo() {
    if (::prctl(PR_SET_DUMPABLE, 0) != 0 || ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        return {};
    }
    cap_t Caps = ::cap_get_proc();
    cap_flag_value_t MayNarrow = CAP_CLEAR;
    ::cap_get_flag(Caps, CAP_SETPCAP, CAP_EFFECTIVE, &MayNarrow);
    ::cap_free(Caps);
    for (cap_value_t Cap = 0; MayNarrow == CAP_SET && Cap <= CAP_LAST_CAP; ++Cap) {
        (void)::cap_drop_bound(Cap);
    }
    cap_t RawOnly = ::cap_from_text("cap_net_raw=ep");
    const bool Raised = RawOnly != nullptr && ::cap_set_proc(RawOnly) == 0;
    ::cap_free(RawOnly);
    const int Socket =
        Raised ? ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_ICMP) : -1;
    int Six =
        Raised ? ::socket(AF_INET6, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_ICMPV6) : -1;
    cap_t None = ::cap_init();
    const bool LetGo = None != nullptr && ::cap_set_proc(None) == 0 &&
                       (::cap_reset_ambient() == 0 || errno == EINVAL);
    ::cap_free(None);
    if (Socket < 0 || !LetGo) {
        return {};
    }
    // The same filter as the program's own raw ICMPv6 socket (replies and the errors 1 to 4),
    // and the hop limit and our address with each message, for the IPv6 header that its
    // adapter puts in front.
    if (Six >= 0 && IdPosix::SetUpIcmp6Raw(Six) != 0) {
        ::close(Six);
        Six = -1;
    }
    // Only the types that can answer an echo request reach the helper at all.
    icmp_filter Filter{};
    Filter.data = ~((1U << ICMP_ECHOREPLY) | (1U << ICMP_DEST_UNREACH) |
                    (1U << ICMP_SOURCE_QUENCH) | (1U << ICMP_REDIRECT) | (1U << ICMP_ECHO) |
                    (1U << ICMP_TIME_EXCEEDED) | (1U << ICMP_PARAMETERPROB));
    ::setsockopt(Socket, SOL_RAW, ICMP_FILTER, &Filter, sizeof Filter);
    return {Socket, Six};
}

// The answers to a request on their way to the window: sent at once, or held while the
// kernel's answers within the send are read, so that on loopback the window wakes once for
// the outcome and those answers together.
class TAnswers {
  public:
    explicit TAnswers(int AChannel) : FChannel(AChannel) {}

    void Hold() { FHolding = true; }

    // Sends what is held, and from then on every answer as it comes.
    void Release() {
        FHolding = false;
        Send();
    }

    void Add(const EchoHelper::TAnswerHeader& AHeader, std::span<const uint8_t> AMessage = {}) {
        if (FCount < MaxHeld) {
            TAnswer& A = FHeld[FCount++];
            A.Header = AHeader;
            A.Length = std::min(AMessage.size(), sizeof A.Message);
            std::copy_n(AMessage.begin(), A.Length, A.Message);
        }
        if (!FHolding) {
            Send();
        }
    }

  private:
    // In one call, in order. A window that reads nothing loses answers; it does not stall
    // the helper.
    void Send() {
        iovec Parts[MaxHeld][2];
        mmsghdr Messages[MaxHeld] = {};
        for (int I = 0; I < FCount; ++I) {
            Parts[I][0] = {&FHeld[I].Header, sizeof FHeld[I].Header};
            Parts[I][1] = {FHeld[I].Message, FHeld[I].Length};
            Messages[I].msg_hdr.msg_iov = Parts[I];
            Messages[I].msg_hdr.msg_iovlen = FHeld[I].Length > 0 ? 2 : 1;
        }
        for (int Done = 0; Done < FCount;) {
            const int Sent =
                ::sendmmsg(FChannel, Messages + Done, static_cast<unsigned>(FCount - Done),
                           MSG_NOSIGNAL | MSG_DONTWAIT);
            if (Sent < 0 && errno != EINTR) {
                break;
            }
            Done += Sent < 0 ? 0 : Sent;
        }
        FCount = 0;
    }

    // The outcome and every answer a request may have.
    static constexpr int MaxHeld = 1 + MaxAnswersPerRequest;
    struct TAnswer {
        EchoHelper::TAnswerHeader Header;
        size_t Length = 0;
        uint8_t Message[EchoHelper::MaxMessageBytes];
    };
    int FChannel;
    bool FHolding = false;
    TAnswer FHeld[MaxHeld];
    int FCount = 0;
};

// recv() gives 0 both for an empty message and at the end of the channel; on sequenced
// packets only poll() tells them apart, showing the end as a hang-up.
bool PeerGone(int AChannel) {
    pollfd Channel{AChannel, POLLIN | POLLRDHUP, 0};
    int Ready;
    while ((Ready = ::poll(&Channel, 1, 0)) < 0 && errno == EINTR) {
    }
    return Ready < 0 || (Channel.revents & (POLLHUP | POLLRDHUP | POLLERR | POLLNVAL)) != 0;
}

class TServer {
  public:
    TServer(int AChannel, TRawSockets ASockets)
        : FChannel(AChannel), FSocket(ASockets.Four), FSocket6(ASockets.Six) {}

    [[noreturn]] void Run() {
        for (;;) {
            // A descriptor of -1 is passed over by poll().
            pollfd Ready[3] = {{FChannel, POLLIN, 0}, {FSocket, POLLIN, 0}, {FSocket6, POLLIN, 0}};
            if (::poll(Ready, 3, -1) < 0) {
                continue; // EINTR
            }
            if (Ready[0].revents != 0) {
                TakeRequest();
            }
            if ((Ready[1].revents & POLLIN) != 0) {
                ReadSocket();
            }
            if ((Ready[2].revents & POLLIN) != 0) {
                ReadSocket6();
            }
        }
    }

  private:
    void TakeRequest() {
        // One byte more than a request, so that a longer message shows as one; no room for
        // descriptors, so any sent along are closed by the kernel, never kept here.
        alignas(EchoHelper::TRequest) uint8_t Buffer[sizeof(EchoHelper::TRequest) + 1];
        const ssize_t N = ::recv(FChannel, Buffer, sizeof Buffer, MSG_DONTWAIT);
        if (N < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        }
        if (N < 0 || (N == 0 && PeerGone(FChannel))) {
            ::_exit(0);
        }
        EchoHelper::TRequest Request;
        EchoHelper::TAnswerHeader Outcome;
        Outcome.Kind = EchoHelper::TAnswerKind::Sent;
        if (N >= static_cast<ssize_t>(sizeof Outcome.Tag)) {
            std::memcpy(&Outcome.Tag, Buffer, sizeof Outcome.Tag);
        }
        Outcome.Error = EchoHelper::CheckRequest({Buffer, static_cast<size_t>(N)}, Request);
        if (Outcome.Error == 0) {
            Outcome.Error = Send(Request);
        }
        // A refused or failed request ends the one before it too: its wait is over.
        FActive = Outcome.Error == 0;
        if (!FActive) {
            FAnswersOut.Add(Outcome);
            return;
        }
        FRequest = Request;
        FAnswers = 0;
        FUntil = std::chrono::steady_clock::now() + AnswerWindow;
        // On loopback the kernel answers within the send: handed on with the outcome, the
        // answer costs the window no second wake-up.
        FAnswersOut.Hold();
        FAnswersOut.Add(Outcome);
        if (Request.Family == 6) {
            ReadSocket6();
        } else {
            ReadSocket();
        }
        FAnswersOut.Release();
    }

    // The kernel builds the IP header: the request sets its TTL and nothing else.
    int Send(const EchoHelper::TRequest& ARequest) {
        if (ARequest.Family == 6) {
            return Send6(ARequest);
        }
        const int Ttl = ARequest.Ttl == 0 ? -1 : ARequest.Ttl;
        if (Ttl != FTtl) {
            if (::setsockopt(FSocket, IPPROTO_IP, IP_TTL, &Ttl, sizeof Ttl) != 0) {
                return errno;
            }
            FTtl = Ttl;
        }
        sockaddr_in To{};
        To.sin_family = AF_INET;
        std::memcpy(&To.sin_addr, ARequest.Address, 4);
        ssize_t Sent;
        while ((Sent = ::sendto(FSocket, ARequest.Echo, ARequest.Length, MSG_NOSIGNAL,
                                reinterpret_cast<const sockaddr*>(&To), sizeof To)) < 0 &&
               errno == EINTR) {
        }
        return Sent < 0 ? errno : 0;
    }

    // The same over ICMPv6, whose checksum the kernel computes: the request sets the hop
    // limit and nothing else.
    int Send6(const EchoHelper::TRequest& ARequest) {
        if (FSocket6 < 0) {
            return EAFNOSUPPORT;
        }
        const int Hops = ARequest.Ttl == 0 ? -1 : ARequest.Ttl;
        if (Hops != FHops) {
            if (::setsockopt(FSocket6, IPPROTO_IPV6, IPV6_UNICAST_HOPS, &Hops, sizeof Hops) != 0) {
                return errno;
            }
            FHops = Hops;
        }
        sockaddr_in6 To{};
        To.sin6_family = AF_INET6;
        std::memcpy(&To.sin6_addr, ARequest.Address, 16);
        To.sin6_scope_id = ARequest.ScopeId;
        ssize_t Sent;
        while ((Sent = ::sendto(FSocket6, ARequest.Echo, ARequest.Length, MSG_NOSIGNAL,
                                reinterpret_cast<const sockaddr*>(&To), sizeof To)) < 0 &&
               errno == EINTR) {
        }
        return Sent < 0 ? errno : 0;
    }

    // Every ICMP message of the host arrives here; only what answers the request goes on.
    void ReadSocket() {
        uint8_t Datagram[EchoHelper::MaxMessageBytes];
        for (int I = 0; I < ReadsPerTurn; ++I) {
            const ssize_t N = ::recv(FSocket, Datagram, sizeof Datagram, MSG_DONTWAIT);
            if (N < 0) {
                return;
            }
            if (!FActive || FRequest.Family != 4 ||
                !EchoHelper::Answers(FRequest, {Datagram, static_cast<size_t>(N)})) {
                continue;
            }
            HandOn(Datagram, static_cast<size_t>(N));
        }
    }

    // Every ICMPv6 reply and error of the host: read with the IPv6 header in front that the
    // program's own raw ICMPv6 socket gets, and judged by the message behind it.
    void ReadSocket6() {
        constexpr size_t Header = IcmpFrames::Ipv6HeaderBytes;
        uint8_t Datagram[EchoHelper::MaxMessageBytes];
        for (int I = 0; I < ReadsPerTurn; ++I) {
            const ssize_t N = IdPosix::ReceiveIcmp6Raw(FSocket6, Datagram, sizeof Datagram,
                                                       MSG_DONTWAIT, nullptr, nullptr);
            if (N < 0) {
                return;
            }
            if (!FActive || static_cast<size_t>(N) < Header ||
                !EchoHelper::AnswersV6(FRequest,
                                       {Datagram + Header, static_cast<size_t>(N) - Header})) {
                continue;
            }
            HandOn(Datagram, static_cast<size_t>(N));
        }
    }

    void HandOn(const uint8_t* ADatagram, size_t ALength) {
        if (std::chrono::steady_clock::now() > FUntil) {
            FActive = false;
            return;
        }
        EchoHelper::TAnswerHeader Header;
        Header.Kind = EchoHelper::TAnswerKind::Message;
        Header.Tag = FRequest.Tag;
        FAnswersOut.Add(Header, {ADatagram, ALength});
        FActive = ++FAnswers < MaxAnswersPerRequest;
    }

    int FChannel;
    int FSocket;
    int FSocket6;
    int FTtl = -1;
    int FHops = -1;
    bool FActive = false;
    EchoHelper::TRequest FRequest;
    int FAnswers = 0;
    std::chrono::steady_clock::time_point FUntil;
    TAnswers FAnswersOut{FChannel};
};

// Hands the raw-socket privilege on through exec as an ambient capability: a program file
// without capabilities of its own keeps those. False where the system refuses it.
bool RaiseAmbientRawPrivilege() {
    cap_t Caps = ::cap_get_proc();
    const cap_value_t Raw = CAP_NET_RAW;
    const bool Raised = Caps != nullptr &&
                        ::cap_set_flag(Caps, CAP_INHERITABLE, 1, &Raw, CAP_SET) == 0 &&
                        ::cap_set_proc(Caps) == 0 && ::cap_set_ambient(CAP_NET_RAW, CAP_SET) == 0;
    ::cap_free(Caps);
    return Raised;
}

// The helper program with the channel as ProgramChannel and nothing else of this process:
// no environment (no variable may steer its loader), default signal handling. Its pid, or -1.
pid_t Spawn(const std::string& AProgram, int AChannel, pid_t AParent) {
    cap_t Before = ::cap_get_proc();
    if (Before == nullptr) {
        return -1;
    }
    pid_t Child = -1;
    if (RaiseAmbientRawPrivilege()) {
        posix_spawn_file_actions_t Actions;
        posix_spawnattr_t Attributes;
        ::posix_spawn_file_actions_init(&Actions);
        ::posix_spawnattr_init(&Attributes);
        sigset_t None;
        sigset_t All;
        sigemptyset(&None);
        sigfillset(&All);
        ::posix_spawnattr_setsigmask(&Attributes, &None);
        ::posix_spawnattr_setsigdefault(&Attributes, &All);
        ::posix_spawnattr_setflags(&Attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        // A descriptor duplicated onto itself loses its close-on-exec flag.
        ::posix_spawn_file_actions_adddup2(&Actions, AChannel, ProgramChannel);
        std::string Name = "vexlo-raw-helper";
        std::string Parent = std::to_string(AParent);
        char* Arguments[] = {Name.data(), Parent.data(), nullptr};
        char* Environment[] = {nullptr};
        if (::posix_spawn(&Child, AProgram.c_str(), &Actions, &Attributes, Arguments,
                          Environment) != 0) {
            Child = -1;
        }
        ::posix_spawnattr_destroy(&Attributes);
        ::posix_spawn_file_actions_destroy(&Actions);
    }
    // Nothing this process starts later inherits the privilege.
    (void)::cap_reset_ambient();
    (void)::cap_set_proc(Before);
    ::cap_free(Before);
    return Child;
}

} // namespace

[[noreturn]] void Serve(int AChannel, pid_t AParent) {
    // Ends with the program: the hang-up of the channel covers every way the program ends,
    // and the death signal also a parent that dies before we look.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != AParent) {
        ::_exit(0);
    }
    ::prctl(PR_SET_NAME, "vexlo-raw");
    // Nothing of the parent's stays open here but the channel.
    if (AChannel > 0) {
        ::syscall(SYS_close_range, 0U, static_cast<unsigned>(AChannel - 1), 0U);
    }
    ::syscall(SYS_close_range, static_cast<unsigned>(AChannel + 1), ~0U, 0U);
    // The pair was made by the window's process; a channel that leads anywhere else is
    // not served.
    ucred Peer{};
    socklen_t PeerLength = sizeof Peer;
    if (::getsockopt(AChannel, SOL_SOCKET, SO_PEERCRED, &Peer, &PeerLength) != 0 ||
        Peer.pid != AParent) {
        ::_exit(1);
    }
    // Without its IPv4 socket the helper ends; the window then finds the channel hung up
    // and pings as a process without privilege would.
    const TRawSockets Sockets = OpenSocketsAndLetGo();
    if (Sockets.Four < 0) {
        ::_exit(1);
    }
    TServer(AChannel, Sockets).Run();
}

bool Start(const std::string& AProgram) {
    const std::lock_guard<std::mutex> Guard(Lock);
    if (HelperPid != 0 || !MayOpenRawSockets()) {
        return HelperPid != 0;
    }
    // Sequenced packets keep each request and answer whole, and tell the end of the peer.
    int Pair[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, Pair) != 0) {
        return false;
    }
    const pid_t Parent = ::getpid();
    pid_t Child = AProgram.empty() ? -1 : Spawn(AProgram, Pair[1], Parent);
    if (Child < 0) {
        Child = ::fork();
        if (Child == 0) {
            ::close(Pair[0]);
            Serve(Pair[1], Parent);
        }
    }
    ::close(Pair[1]);
    if (Child < 0) {
        ::close(Pair[0]);
        return false;
    }
    WindowChannel = Pair[0];
    HelperPid = Child;
    System::SetEchoHelperChannel(WindowChannel);
    return true;
}

pid_t Pid() {
    const std::lock_guard<std::mutex> Guard(Lock);
    return HelperPid;
}

int Channel() {
    const std::lock_guard<std::mutex> Guard(Lock);
    return WindowChannel;
}

} // namespace RawSocketHelper
