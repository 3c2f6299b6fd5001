#pragma once
// Raw sockets need a privilege that the window's process should not hold at all: a plugin it
// loads would hold it too. Where the process starts with it, a small helper process keeps it
// and opens raw ICMP sockets on request; the window's process gives up every capability and
// asks the helper, through the socket layer's source of raw sockets (system/RawSocketSource.h).
// POSIX only.
#include <sys/types.h>

namespace RawSocketHelper {

// Forks the helper when the process may open raw sockets and installs it as the source of
// raw sockets; true when one runs. Must be called while the process has a single thread,
// before anything else is started. The caller then gives up its own capabilities; the
// helper keeps only the raw-socket one.
bool Start();

// The helper's process id, or 0 when there is none.
pid_t Pid();

// Asks the helper for a socket of this kind. It opens only raw ICMP over IPv4 and refuses
// anything else (EPERM); without a helper the answer is ENOSYS. -1 and errno on failure.
int RequestSocket(int AFamily, int AType, int AProtocol);

} // namespace RawSocketHelper
