// The POSIX select(): the Windows-shaped descriptor sets waited on with poll().
#include "net/posix/PosixSockets.h"

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <poll.h>

namespace {
int64_t MonotonicNs() {
    timespec Now{};
    ::clock_gettime(CLOCK_MONOTONIC, &Now);
    return int64_t{Now.tv_sec} * 1000000000 + Now.tv_nsec;
}
} // namespace

namespace IdPosix {
using namespace IdWinSock2;

// The Windows-shaped sets become one poll() call: a POSIX fd_set cannot hold descriptors
// of 1024 or more. Like Windows, the result counts each set membership that is ready and
// the sets come back holding only the ready handles.
int IDWSAPI PollSets(int, TFdSet* R, TFdSet* W, TFdSet* E, const TTimeVal* T) {
    TFdSet* Sets[3] = {R, W, E};
    const short Wanted[3] = {POLLIN, POLLOUT, POLLPRI};
    pollfd Fds[3 * FD_SETSIZE_WS];
    nfds_t Count = 0;
    for (int I = 0; I < 3; ++I) {
        if (Sets[I] == nullptr) {
            continue;
        }
        if (Sets[I]->fd_count > static_cast<uint32_t>(FD_SETSIZE_WS)) {
            SetLastSocketError(Id_WSAEINVAL);
            return -1;
        }
        for (uint32_t J = 0; J < Sets[I]->fd_count; ++J) {
            Fds[Count++] = pollfd{Sets[I]->fd_array[J], Wanted[I], 0};
        }
    }
    if (Count == 0) {
        SetLastSocketError(Id_WSAEINVAL); // as Windows: a wait needs at least one socket
        return -1;
    }
    int Timeout = -1;
    if (T != nullptr) {
        const int64_t Ms = int64_t{T->tv_sec} * 1000 + (int64_t{T->tv_usec} + 999) / 1000;
        Timeout = Ms < 0 ? 0 : (Ms > INT32_MAX ? INT32_MAX : static_cast<int>(Ms));
    }
    // A signal handled during the wait ends poll() with EINTR, SA_RESTART or not; Windows
    // knows no such interruption. The wait goes on with what is left until a deadline on the
    // monotonic clock fixed here, however many signals arrive.
    const int64_t Deadline = MonotonicNs() + int64_t{Timeout} * 1000000;
    int Wait = Timeout;
    int Polled;
    for (;;) {
        Polled = ::poll(Fds, Count, Wait);
        if (Polled != -1 || errno != EINTR) {
            break;
        }
        if (Timeout >= 0) {
            // Rounded up: the wait must not end before its deadline.
            const int64_t LeftNs = Deadline - MonotonicNs();
            Wait = LeftNs <= 0 ? 0 : static_cast<int>((LeftNs + 999999) / 1000000);
        }
    }
    if (Polled == -1) {
        SetLastSocketError(CodeFromErrno(errno));
        return -1;
    }
    nfds_t Index = 0;
    int Ready = 0;
    for (int I = 0; I < 3; ++I) {
        if (Sets[I] == nullptr) {
            continue;
        }
        uint32_t Kept = 0;
        const uint32_t Given = Sets[I]->fd_count;
        for (uint32_t J = 0; J < Given; ++J, ++Index) {
            const short Got = Fds[Index].revents;
            if (Got & POLLNVAL) {
                SetLastSocketError(Id_WSAENOTSOCK);
                return -1;
            }
            // A read set also reports sockets whose peer closed or that hold an error: an
            // ICMP datagram socket's queued ICMP error shows as POLLERR alone.
            const short Counts =
                I == 0 ? (POLLIN | POLLHUP | POLLERR) : (I == 1 ? (POLLOUT | POLLERR) : POLLPRI);
            if (Got & Counts) {
                Sets[I]->fd_array[Kept++] = Fds[Index].fd;
            }
        }
        Sets[I]->fd_count = Kept;
        Ready += static_cast<int>(Kept);
    }
    return Ready;
}

} // namespace IdPosix
