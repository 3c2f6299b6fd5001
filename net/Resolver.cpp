#include "net/Resolver.h"

namespace Resolver {

std::string HostName() {
    // A zero-filled 128-byte buffer whatever the system's limit: a longer name is cut to
    // 127 bytes, and a failed call leaves it empty.
    char Buffer[128] = {};
    SystemHostName(Buffer, sizeof Buffer);
    Buffer[sizeof Buffer - 1] = '\0';
    return Buffer;
}

} // namespace Resolver
