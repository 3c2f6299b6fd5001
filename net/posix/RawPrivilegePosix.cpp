#include "net/posix/RawPrivilege.h"

#include <cerrno>
#include <sys/capability.h>

namespace {

// Puts CAP_NET_RAW into or out of the effective set; true when the set changed.
bool SetEffective(cap_flag_value_t AWanted) {
    cap_t Caps = ::cap_get_proc();
    if (Caps == nullptr) {
        return false;
    }
    cap_value_t Raw = CAP_NET_RAW;
    cap_flag_value_t Permitted = CAP_CLEAR;
    cap_flag_value_t Effective = CAP_CLEAR;
    bool Changed = false;
    // A process that already holds it in force (root that kept every capability, a test
    // program) is left as it is: lowering it afterwards would take what it had.
    if (::cap_get_flag(Caps, Raw, CAP_PERMITTED, &Permitted) == 0 &&
        ::cap_get_flag(Caps, Raw, CAP_EFFECTIVE, &Effective) == 0 && Permitted == CAP_SET &&
        Effective != AWanted) {
        Changed =
            ::cap_set_flag(Caps, CAP_EFFECTIVE, 1, &Raw, AWanted) == 0 && ::cap_set_proc(Caps) == 0;
    }
    ::cap_free(Caps);
    return Changed;
}

} // namespace

TRawPrivilege::TRawPrivilege(bool ARaise) {
    if (ARaise) {
        const int Saved = errno;
        FRaised = SetEffective(CAP_SET);
        errno = Saved;
    }
}

TRawPrivilege::~TRawPrivilege() {
    if (FRaised) {
        const int Saved = errno;
        SetEffective(CAP_CLEAR);
        errno = Saved;
    }
}
