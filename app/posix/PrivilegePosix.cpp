#include "app/Privilege.h"

#include <sys/auxv.h>

namespace Privilege {

void DropAtStart() {}

bool SecureExecution() {
    return ::getauxval(AT_SECURE) != 0;
}

} // namespace Privilege
