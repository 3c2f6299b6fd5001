#pragma once
// Raw sockets need a privilege that the window's process should not hold at all: a plugin or
// driver it loads would hold it too. Where the process starts with it, a small helper process
// opens one raw ICMP socket, gives up every capability, and from then on does one narrow
// thing: it sends the echo requests that the window's process hands it, after checking them,
// and hands back only what answers them (net/EchoHelperProtocol.h). It never passes a
// descriptor. The window's process gives up every capability and reaches the helper through
// the socket layer (system/EchoHelperChannel.h).
#include <string>
#include <sys/types.h>

namespace RawSocketHelper {

// Starts the helper when the process may open raw sockets and installs the channel to it;
// true when one runs. With AProgram, the path of the helper program (vexlo-raw-helper),
// which only root can have put there, the helper runs that: a small image of its own,
// started without the window's libraries, which a fork would copy and the window's process
// would then pay for page by page as it writes them. Without it, or where it cannot be
// started, the helper is a fork of this process. Must be called while the process has a
// single thread, before anything else is started. The caller then gives up its own
// capabilities.
bool Start(const std::string& AProgram = {});

// What the helper does for the window's process AParent over AChannel, in a fork or in the
// helper program: it never returns.
[[noreturn]] void Serve(int AChannel, pid_t AParent);

// The descriptor on which the helper program finds its channel.
constexpr int ProgramChannel = 3;

// The helper's process id, or 0 when there is none.
pid_t Pid();

// The window's end of the channel, or -1: for a test that takes the helper out of the socket
// layer's way (System::SetEchoHelperChannel(-1)) and puts it back.
int Channel();

} // namespace RawSocketHelper
