#pragma once
// Raw sockets need a privilege that the window's process should not hold at all: a plugin
// loaded from the program's folder, which the user can write, would hold it too. Where the
// process starts with it, a small helper process keeps it and opens raw ICMP sockets on
// request; the window's process gives up every capability and asks the helper. Where there
// is no helper (a test run as root, an ordinary user), the privilege is raised only around
// the one socket call, as before.
#include <sys/types.h>

// Raises the raw-socket privilege for its lifetime when asked to and when the process may
// hold it; otherwise does nothing, and the socket call then fails as it would have.
// Leaves errno as it found it, so the failure of the call it guards stays readable.
class TRawPrivilege {
  public:
    explicit TRawPrivilege(bool ARaise);
    ~TRawPrivilege();
    TRawPrivilege(const TRawPrivilege&) = delete;
    TRawPrivilege& operator=(const TRawPrivilege&) = delete;

  private:
    bool FRaised = false;
};

namespace RawSocketHelper {

// Forks the helper when the process may open raw sockets; true when one runs. Must be
// called while the process has a single thread, before anything else is started. The
// caller then gives up its own capabilities; the helper keeps only the raw-socket one.
bool Start();

// The helper's process id, or 0 when there is none.
pid_t Pid();

// Asks the helper for a socket of this kind. It opens only raw ICMP over IPv4 and refuses
// anything else (EPERM); without a helper the answer is ENOSYS. -1 and errno on failure.
int RequestSocket(int AFamily, int AType, int AProtocol);

} // namespace RawSocketHelper
