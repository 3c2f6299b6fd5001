#include "app/Privilege.h"

#include "net/RawPrivilege.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/auxv.h>
#include <sys/capability.h>

namespace Privilege {

namespace {

[[noreturn]] void Refuse(const char* AWhat) {
    // Going on would keep more privilege than the program needs.
    std::fprintf(stderr, "vexlo: cannot give up privileges (%s): %s\n", AWhat,
                 std::strerror(errno));
    std::exit(EXIT_FAILURE);
}

} // namespace

void DropAtStart() {
    cap_t Current = ::cap_get_proc();
    cap_t None = ::cap_init();
    if (Current == nullptr || None == nullptr) {
        Refuse("cap_get_proc");
    }
    // An ordinary user's start holds nothing, and the ambient set is always a part of the
    // permitted one: nothing to do then.
    if (::cap_compare(Current, None) != 0) {
        // The raw-socket privilege goes to a helper of its own, so that nothing this
        // process loads later (a plugin from its folder, which the user can write) can
        // raise it.
        RawSocketHelper::Start();
        // Root could otherwise regain everything by running a set-user-id program.
        cap_flag_value_t CanDropBound = CAP_CLEAR;
        ::cap_get_flag(Current, CAP_SETPCAP, CAP_EFFECTIVE, &CanDropBound);
        for (cap_value_t Cap = 0; CanDropBound == CAP_SET && Cap <= CAP_LAST_CAP; ++Cap) {
            if (::cap_drop_bound(Cap) != 0 && errno != EINVAL) {
                Refuse("cap_drop_bound");
            }
        }
        // The empty inheritable set also empties the ambient one, so a program started from
        // here (the help page's browser) inherits nothing. Root keeps its user id, as the
        // system's ping does; only its capabilities go.
        if (::cap_set_proc(None) != 0) {
            Refuse("cap_set_proc");
        }
        if (::cap_reset_ambient() != 0 && errno != EINVAL) {
            Refuse("cap_reset_ambient");
        }
    }
    ::cap_free(None);
    ::cap_free(Current);
}

bool SecureExecution() {
    return ::getauxval(AT_SECURE) != 0;
}

} // namespace Privilege
