// The helper that holds the raw-socket capability for the window's process. It is forked
// before any thread or any Qt code exists, keeps nothing of the parent but its end of a
// socket pair, and does one thing: open a raw ICMP socket on request and pass it back.
#include "app/RawSocketHelper.h"
#include "system/RawSocketSource.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <linux/close_range.h>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/capability.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace RawSocketHelper {
namespace {

struct TRequest {
    std::int32_t Family;
    std::int32_t Type;
    std::int32_t Protocol;
};

struct TAnswer {
    std::int32_t Error; // 0 when a descriptor comes with it
};

std::mutex Lock;
int Channel = -1;
pid_t HelperPid = 0;

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

// The helper keeps CAP_NET_RAW in force and nothing else, and can never gain more: no
// bounding set beyond it, no new privileges through exec, and no debugger of the same
// user may attach to it and borrow what it holds.
bool NarrowHelper() {
    if (::prctl(PR_SET_DUMPABLE, 0) != 0 || ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        return false;
    }
    if (::cap_get_bound(CAP_SETPCAP) == 1) {
        cap_t Caps = ::cap_get_proc();
        cap_flag_value_t Effective = CAP_CLEAR;
        ::cap_get_flag(Caps, CAP_SETPCAP, CAP_EFFECTIVE, &Effective);
        ::cap_free(Caps);
        for (cap_value_t Cap = 0; Effective == CAP_SET && Cap <= CAP_LAST_CAP; ++Cap) {
            if (Cap != CAP_NET_RAW) {
                (void)::cap_drop_bound(Cap);
            }
        }
    }
    cap_t Kept = ::cap_from_text("cap_net_raw=ep");
    const bool Ok = Kept != nullptr && ::cap_set_proc(Kept) == 0;
    ::cap_free(Kept);
    return Ok && (::cap_reset_ambient() == 0 || errno == EINVAL);
}

void Answer(int AChannel, int AError, int ADescriptor) {
    TAnswer Reply{AError};
    iovec Part{&Reply, sizeof Reply};
    msghdr Message{};
    Message.msg_iov = &Part;
    Message.msg_iovlen = 1;
    alignas(cmsghdr) char Control[CMSG_SPACE(sizeof(int))] = {};
    if (ADescriptor >= 0) {
        Message.msg_control = Control;
        Message.msg_controllen = sizeof Control;
        cmsghdr* Header = CMSG_FIRSTHDR(&Message);
        Header->cmsg_level = SOL_SOCKET;
        Header->cmsg_type = SCM_RIGHTS;
        Header->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(Header), &ADescriptor, sizeof(int));
    }
    while (::sendmsg(AChannel, &Message, MSG_NOSIGNAL) < 0 && errno == EINTR) {
    }
}

// recv() gives 0 both for an empty message and at the end of the channel; on sequenced
// packets only poll() tells them apart, showing the end as a hang-up.
bool PeerGone(int AChannel) {
    pollfd Channel{AChannel, POLLIN | POLLRDHUP, 0};
    int Ready;
    while ((Ready = ::poll(&Channel, 1, 0)) < 0 && errno == EINTR) {
    }
    return Ready < 0 || (Channel.revents & (POLLHUP | POLLRDHUP | POLLERR | POLLNVAL)) != 0;
}

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
    if (!NarrowHelper()) {
        ::_exit(1);
    }
    for (;;) {
        // One byte more than a request, so that a longer message shows as one; no room
        // for descriptors, so any sent along are closed by the kernel, not kept here.
        char Buffer[sizeof(TRequest) + 1];
        const ssize_t N = ::recv(AChannel, Buffer, sizeof Buffer, 0);
        if (N < 0 && errno == EINTR) {
            continue;
        }
        if (N < 0 || (N == 0 && PeerGone(AChannel))) {
            ::_exit(0);
        }
        // A message of another size is no request, and answering it would put an answer
        // on the channel that nobody asked for: the next request would read it as its own,
        // and every later one the answer of the one before.
        if (static_cast<size_t>(N) != sizeof(TRequest)) {
            continue;
        }
        TRequest Request{};
        std::memcpy(&Request, Buffer, sizeof Request);
        if (Request.Family != AF_INET || Request.Type != SOCK_RAW ||
            Request.Protocol != IPPROTO_ICMP) {
            Answer(AChannel, EPERM, -1);
            continue;
        }
        const int Socket = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
        Answer(AChannel, Socket < 0 ? errno : 0, Socket);
        if (Socket >= 0) {
            ::close(Socket);
        }
    }
}

} // namespace

bool Start() {
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
    const pid_t Child = ::fork();
    if (Child == 0) {
        ::close(Pair[0]);
        Serve(Pair[1], Parent);
    }
    ::close(Pair[1]);
    if (Child < 0) {
        ::close(Pair[0]);
        return false;
    }
    Channel = Pair[0];
    HelperPid = Child;
    System::SetRawSocketSource(&RequestSocket);
    return true;
}

pid_t Pid() {
    const std::lock_guard<std::mutex> Guard(Lock);
    return HelperPid;
}

int RequestSocket(int AFamily, int AType, int AProtocol) {
    const std::lock_guard<std::mutex> Guard(Lock);
    if (Channel < 0) {
        errno = ENOSYS;
        return -1;
    }
    const TRequest Request{AFamily, AType, AProtocol};
    ssize_t Sent;
    while ((Sent = ::send(Channel, &Request, sizeof Request, MSG_NOSIGNAL)) < 0 && errno == EINTR) {
    }
    if (Sent != static_cast<ssize_t>(sizeof Request)) {
        return -1; // the helper is gone: EPIPE, ECONNRESET
    }
    TAnswer Reply{};
    iovec Part{&Reply, sizeof Reply};
    alignas(cmsghdr) char Control[CMSG_SPACE(sizeof(int))] = {};
    msghdr Message{};
    Message.msg_iov = &Part;
    Message.msg_iovlen = 1;
    Message.msg_control = Control;
    Message.msg_controllen = sizeof Control;
    ssize_t Got;
    while ((Got = ::recvmsg(Channel, &Message, MSG_CMSG_CLOEXEC)) < 0 && errno == EINTR) {
    }
    int Descriptor = -1;
    for (cmsghdr* H = CMSG_FIRSTHDR(&Message); H != nullptr; H = CMSG_NXTHDR(&Message, H)) {
        if (H->cmsg_level == SOL_SOCKET && H->cmsg_type == SCM_RIGHTS) {
            std::memcpy(&Descriptor, CMSG_DATA(H), sizeof(int));
        }
    }
    if (Got != static_cast<ssize_t>(sizeof Reply) || Reply.Error != 0 || Descriptor < 0) {
        const int Error = Got < 0                                     ? errno
                          : Got != static_cast<ssize_t>(sizeof Reply) ? ECONNRESET
                          : Reply.Error != 0                          ? Reply.Error
                                                                      : EPROTO;
        if (Descriptor >= 0) {
            ::close(Descriptor);
        }
        errno = Error;
        return -1;
    }
    return Descriptor;
}

} // namespace RawSocketHelper
