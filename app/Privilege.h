#pragma once
// The privilege for raw sockets, held as narrowly as the platform allows. One file per
// platform.
namespace Privilege {

// Drops every capability but the raw-socket one, which stays permitted and not effective
// (the socket layer raises it only around opening its socket).
void DropAtStart();

// True when the process started with raised privilege (a file capability or set-user-id),
// and so must not load code from anywhere the user chooses.
bool SecureExecution();

} // namespace Privilege
