#pragma once
// Where raw ICMP goes when the process has given its privilege to a helper process that
// keeps it: the program's start installs the window's end of the channel to the helper, and
// the socket layer sends its echo requests through it. The seam lives here, below both, so
// that neither reaches into the other.
namespace System {

// Installs the channel (-1: none, the process opens its own raw sockets). Before any thread
// starts, or while no socket is open.
void SetEchoHelperChannel(int AChannel);

// The channel installed, or -1.
int EchoHelperChannel();

} // namespace System
