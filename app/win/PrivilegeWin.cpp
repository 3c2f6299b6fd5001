#include "app/Privilege.h"

namespace Privilege {

// Raw sockets need administrator rights on Windows, which cannot be narrowed to one call.
void DropAtStart() {}

bool SecureExecution() {
    return false;
}

} // namespace Privilege
