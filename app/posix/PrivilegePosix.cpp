#include "app/Privilege.h"

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
    cap_t Kept = ::cap_init();
    if (Current == nullptr || Kept == nullptr) {
        Refuse("cap_get_proc");
    }
    // An ordinary user's start holds nothing, and the ambient set is always a part of the
    // permitted one: nothing to do then.
    if (::cap_compare(Current, Kept) != 0) {
        cap_value_t Raw = CAP_NET_RAW;
        cap_flag_value_t RawPermitted = CAP_CLEAR;
        ::cap_get_flag(Current, Raw, CAP_PERMITTED, &RawPermitted);
        if (RawPermitted == CAP_SET) {
            ::cap_set_flag(Kept, CAP_PERMITTED, 1, &Raw, CAP_SET);
        }
        // The empty inheritable set also empties the ambient one, so a program started from
        // here (the help page's browser) inherits nothing; only a child of root gets root's
        // capabilities again, from the kernel. Root keeps its user id, as the system's ping
        // does; only its capabilities go.
        if (::cap_set_proc(Kept) != 0) {
            Refuse("cap_set_proc");
        }
        if (::cap_reset_ambient() != 0 && errno != EINVAL) {
            Refuse("cap_reset_ambient");
        }
    }
    ::cap_free(Kept);
    ::cap_free(Current);
}

bool SecureExecution() {
    return ::getauxval(AT_SECURE) != 0;
}

} // namespace Privilege
