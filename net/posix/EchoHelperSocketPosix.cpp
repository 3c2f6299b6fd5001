// The window's side of the exchange through the echo helper. Only the helper holds a raw
// socket; this side holds a copy of the channel per socket and never sees a descriptor come
// back, so nothing that runs in this process can send more than a checked echo request.
#include "net/posix/EchoHelperSocketPosix.h"

#include "net/EchoHelperProtocol.h"
#include "net/posix/DescriptorTable.h"
#include "system/EchoHelperChannel.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

namespace IdPosix {

namespace {

// Where a helper socket's requests go: an IPv4 or an IPv6 address.
union TPeer {
    sockaddr_in Four;
    sockaddr_in6 Six{};
};

struct THelperSocket {
    int Family = AF_INET;
    bool OwnCopy = false; // a copy of the channel, closed with the socket; else the channel
    int Ttl = -1;         // TTL or hop limit as last set; -1: the system's default
    bool NonBlocking = false;
    bool Connected = false;
    TPeer Peer{};
};

// The option that sets the TTL of what a helper socket of this family sends.
bool IsTtlOption(int AFamily, int ALevel, int AName) {
    return AFamily == AF_INET6 ? ALevel == IPPROTO_IPV6 && AName == IPV6_UNICAST_HOPS
                               : ALevel == IPPROTO_IP && AName == IP_TTL;
}

// The address of the family's size and number, copied into APeer; false for any other.
bool TakePeer(int AFamily, const sockaddr* AAddress, socklen_t ALength, TPeer& APeer) {
    const socklen_t Size = AFamily == AF_INET6 ? sizeof APeer.Six : sizeof APeer.Four;
    if (AAddress == nullptr || ALength < Size || AAddress->sa_family != AFamily) {
        return false;
    }
    std::memcpy(static_cast<void*>(&APeer), AAddress, Size);
    return true;
}

TDescriptorTable<THelperSocket> Sockets;
std::atomic<uint32_t> NextTag{0};

// The helper answers within microseconds; a second is the exchange's own limit, and a helper
// that is stopped or stuck must cost no more than that.
constexpr int AnswerWaitMs = 1000;

// recv() on sequenced packets gives 0 both for an empty message and at the end of the
// channel: the helper never sends an empty one, so 0 is its end.
ssize_t ReadAnswer(int ASocket, uint8_t* ABuffer, size_t ALength, int AFlags) {
    ssize_t N;
    while ((N = ::recv(ASocket, ABuffer, ALength, AFlags)) < 0 && errno == EINTR) {
    }
    if (N == 0) {
        errno = ECONNRESET;
        return -1;
    }
    return N;
}

// Waits for the helper's answer to the request of ATag: the outcome of its send.
int AwaitSent(int ASocket, uint32_t ATag) {
    const auto Deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(AnswerWaitMs);
    alignas(EchoHelper::TAnswerHeader)
        uint8_t Buffer[sizeof(EchoHelper::TAnswerHeader) + EchoHelper::MaxMessageBytes];
    // The helper answers within microseconds, sooner than this process would wake from a
    // sleep: it looks a few times before it sleeps.
    int Looks = 200;
    for (;;) {
        const ssize_t N = ReadAnswer(ASocket, Buffer, sizeof Buffer, MSG_DONTWAIT);
        if (N < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return errno;
        }
        if (N >= static_cast<ssize_t>(sizeof(EchoHelper::TAnswerHeader))) {
            EchoHelper::TAnswerHeader Header;
            std::memcpy(&Header, Buffer, sizeof Header);
            // Anything before it answers an earlier request, whose wait is over.
            if (Header.Kind == EchoHelper::TAnswerKind::Sent && Header.Tag == ATag) {
                return Header.Error;
            }
            continue;
        }
        if (N >= 0) {
            continue;
        }
        if (Looks-- > 0) {
            continue;
        }
        const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              Deadline - std::chrono::steady_clock::now())
                              .count();
        if (Left <= 0) {
            return ETIMEDOUT;
        }
        pollfd Channel{ASocket, POLLIN, 0};
        // A signal only shortens one round: the deadline stands.
        if (::poll(&Channel, 1, static_cast<int>(Left)) < 0 && errno != EINTR) {
            return errno;
        }
    }
}

bool HelperGone(int AChannel) {
    pollfd Channel{AChannel, POLLRDHUP, 0};
    return ::poll(&Channel, 1, 0) != 0 &&
           (Channel.revents & (POLLHUP | POLLRDHUP | POLLERR | POLLNVAL)) != 0;
}

} // namespace

bool GoesThroughHelper(int AFamily, int AType, int AProtocol) {
    return AType == SOCK_RAW &&
           ((AFamily == AF_INET && AProtocol == IPPROTO_ICMP) ||
            (AFamily == AF_INET6 && AProtocol == IPPROTO_ICMPV6)) &&
           System::EchoHelperChannel() >= 0;
}

int OpenHelperSocket(int AFamily) {
    const int Channel = System::EchoHelperChannel();
    if (Channel < 0 || HelperGone(Channel)) {
        errno = EACCES;
        return -1;
    }
    // The echo client opens one socket at a time: it gets the channel itself, which spares a
    // copy and its close at every exchange. Any further one gets a copy.
    THelperSocket State;
    State.Family = AFamily;
    if (Sockets.Add(Channel, State)) {
        return Channel;
    }
    const int Socket = ::fcntl(Channel, F_DUPFD_CLOEXEC, 0);
    if (Socket < 0) {
        return -1;
    }
    State.OwnCopy = true;
    Sockets.Put(Socket, State);
    return Socket;
}

bool IsHelperSocket(int ASocket) {
    return Sockets.Contains(ASocket);
}

ssize_t SendThroughHelper(int ASocket, const void* ABuffer, size_t ALength, const sockaddr* ATo,
                          socklen_t AToLength) {
    THelperSocket State;
    Sockets.Get(ASocket, State);
    const bool Six = State.Family == AF_INET6;
    TPeer To = State.Peer;
    if (ATo != nullptr) {
        if (AToLength < static_cast<socklen_t>(Six ? sizeof To.Six : sizeof To.Four)) {
            errno = EINVAL;
            return -1;
        }
        if (!TakePeer(State.Family, ATo, AToLength, To)) {
            errno = EAFNOSUPPORT;
            return -1;
        }
    } else if (!State.Connected) {
        errno = EDESTADDRREQ;
        return -1;
    }
    if (ALength > EchoHelper::MaxEchoBytes) {
        errno = EMSGSIZE;
        return -1;
    }
    EchoHelper::TRequest Request;
    Request.Tag = NextTag.fetch_add(1) + 1;
    Request.Family = Six ? 6 : 4;
    Request.Ttl = static_cast<uint8_t>(State.Ttl < 0 ? 0 : State.Ttl);
    Request.Length = static_cast<uint16_t>(ALength);
    if (Six) {
        std::memcpy(Request.Address, &To.Six.sin6_addr, 16);
        Request.ScopeId = To.Six.sin6_scope_id;
    } else {
        std::memcpy(Request.Address, &To.Four.sin_addr, 4);
    }
    std::memcpy(Request.Echo, ABuffer, ALength);
    ssize_t Sent;
    while ((Sent = ::send(ASocket, &Request, sizeof Request, MSG_NOSIGNAL)) < 0 && errno == EINTR) {
    }
    if (Sent != static_cast<ssize_t>(sizeof Request)) {
        if (Sent >= 0 || errno == EPIPE) {
            errno = ECONNRESET; // the helper has ended
        }
        return -1;
    }
    if (const int Error = AwaitSent(ASocket, Request.Tag); Error != 0) {
        errno = Error;
        return -1;
    }
    return static_cast<ssize_t>(ALength);
}

ssize_t ReceiveThroughHelper(int ASocket, void* ABuffer, size_t ALength, int AFlags,
                             sockaddr* AFrom, socklen_t* AFromLength) {
    THelperSocket State;
    Sockets.Get(ASocket, State);
    int Flags = (AFlags & MSG_DONTWAIT) != 0 || State.NonBlocking ? MSG_DONTWAIT : 0;
    alignas(EchoHelper::TAnswerHeader)
        uint8_t Buffer[sizeof(EchoHelper::TAnswerHeader) + EchoHelper::MaxMessageBytes];
    for (;;) {
        const ssize_t N = ReadAnswer(ASocket, Buffer, sizeof Buffer, Flags);
        if (N < 0) {
            return -1;
        }
        EchoHelper::TAnswerHeader Header;
        const size_t Got = static_cast<size_t>(N);
        if (Got < sizeof Header) {
            Flags = MSG_DONTWAIT;
            continue;
        }
        std::memcpy(&Header, Buffer, sizeof Header);
        if (Header.Kind != EchoHelper::TAnswerKind::Message) {
            // An outcome nobody waits for (some other code on the channel): only what is
            // there already may be read, so that this never waits past the caller's limit.
            Flags = MSG_DONTWAIT;
            continue;
        }
        const uint8_t* Message = Buffer + sizeof Header;
        const size_t Length = Got - sizeof Header;
        std::memcpy(ABuffer, Message, std::min(ALength, Length));
        // The sender as the message's IP header tells it.
        if (AFrom != nullptr && AFromLength != nullptr && State.Family == AF_INET6) {
            sockaddr_in6 From{};
            From.sin6_family = AF_INET6;
            if (Length >= 40) {
                std::memcpy(&From.sin6_addr, Message + 8, 16);
            }
            std::memcpy(AFrom, &From, std::min<size_t>(*AFromLength, sizeof From));
            *AFromLength = sizeof From;
        } else if (AFrom != nullptr && AFromLength != nullptr) {
            sockaddr_in From{};
            From.sin_family = AF_INET;
            if (Length >= 20) {
                std::memcpy(&From.sin_addr, Message + 12, 4);
            }
            std::memcpy(AFrom, &From, std::min<size_t>(*AFromLength, sizeof From));
            *AFromLength = sizeof From;
        }
        // As a datagram socket without MSG_TRUNC: what fitted.
        return static_cast<ssize_t>(std::min(ALength, Length));
    }
}

int SetHelperSocketOption(int ASocket, int ALevel, int AName, const void* AValue,
                          socklen_t ALength) {
    THelperSocket State;
    if (!Sockets.Get(ASocket, State) || !IsTtlOption(State.Family, ALevel, AName)) {
        errno = ENOPROTOOPT;
        return -1;
    }
    // The kernel's own rule for IP_TTL: an int, or a single byte; -1 is the default.
    int Value = 0;
    if (ALength >= static_cast<socklen_t>(sizeof(int))) {
        std::memcpy(&Value, AValue, sizeof Value);
    } else if (ALength >= 1) {
        Value = *static_cast<const uint8_t*>(AValue);
    } else {
        errno = EINVAL;
        return -1;
    }
    if (Value != -1 && (Value < 1 || Value > 255)) {
        errno = EINVAL;
        return -1;
    }
    Sockets.Change(ASocket, [Value](THelperSocket& S) { S.Ttl = Value; });
    return 0;
}

int GetHelperSocketOption(int ASocket, int ALevel, int AName, void* AValue, socklen_t* ALength) {
    THelperSocket State;
    if (!Sockets.Get(ASocket, State) || !IsTtlOption(State.Family, ALevel, AName)) {
        errno = ENOPROTOOPT;
        return -1;
    }
    if (ALength == nullptr || *ALength < static_cast<socklen_t>(sizeof(int))) {
        errno = EINVAL;
        return -1;
    }
    const int Value = State.Ttl < 0 ? 64 : State.Ttl;
    std::memcpy(AValue, &Value, sizeof Value);
    *ALength = sizeof Value;
    return 0;
}

int ConnectHelperSocket(int ASocket, const sockaddr* ATo, socklen_t AToLength) {
    THelperSocket State;
    TPeer Peer;
    if (!Sockets.Get(ASocket, State) || !TakePeer(State.Family, ATo, AToLength, Peer)) {
        errno = EAFNOSUPPORT;
        return -1;
    }
    Sockets.Change(ASocket, [&Peer](THelperSocket& S) {
        S.Peer = Peer;
        S.Connected = true;
    });
    return 0;
}

int ShutdownHelperSocket(int ASocket, int /*AHow*/) {
    THelperSocket State;
    Sockets.Get(ASocket, State);
    if (!State.Connected) {
        errno = ENOTCONN;
        return -1;
    }
    return 0;
}

int SetHelperSocketNonBlocking(int ASocket, bool AOn) {
    Sockets.Change(ASocket, [AOn](THelperSocket& S) { S.NonBlocking = AOn; });
    return 0;
}

int CloseHelperSocket(int ASocket) {
    THelperSocket State;
    return Sockets.Take(ASocket, State) && State.OwnCopy ? ::close(ASocket) : 0;
}

} // namespace IdPosix
