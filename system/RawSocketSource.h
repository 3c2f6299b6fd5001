#pragma once
// Where raw sockets come from when the process has given its privilege to another, a helper
// process that keeps it: the program's start installs the source and the socket layer asks
// it. The seam lives here, below both, so that neither reaches into the other.
namespace System {

// Opens a socket of this kind on the caller's behalf; -1 and errno on failure.
using TRawSocketSource = int (*)(int AFamily, int AType, int AProtocol);

// Installs ASource (nullptr: none, the process opens its own). Before any thread starts.
void SetRawSocketSource(TRawSocketSource ASource);

// The source installed, or nullptr.
TRawSocketSource RawSocketSource();

} // namespace System
