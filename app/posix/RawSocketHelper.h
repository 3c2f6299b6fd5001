#pragma once
// Raw sockets need a privilege that the window's process should not hold at all: a plugin or
// driver it loads would hold it too. Where the process starts with it, a small helper process
// opens one raw ICMP socket, gives up every capability, and from then on does one narrow
// thing: it sends the echo requests that the window's process hands it, after checking them,
// and hands back only what answers them (net/EchoHelperProtocol.h). It never passes a
// descriptor. The window's process gives up every capability and reaches the helper through
// the socket layer (system/EchoHelperChannel.h).
#include <sys/types.h>

namespace RawSocketHelper {

// Forks the helper when the process may open raw sockets and installs the channel to it;
// true when one runs. Must be called while the process has a single thread, before anything
// else is started. The caller then gives up its own capabilities.
bool Start();

// The helper's process id, or 0 when there is none.
pid_t Pid();

// The window's end of the channel, or -1: for a test that takes the helper out of the socket
// layer's way (System::SetEchoHelperChannel(-1)) and puts it back.
int Channel();

} // namespace RawSocketHelper
