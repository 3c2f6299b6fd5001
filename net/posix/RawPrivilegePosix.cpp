#include "net/posix/RawPrivilege.h"

#include <cerrno>
#include <cstdint>
#include <sys/capability.h>

namespace {

// Where CAP_NET_RAW stands, with one system call: the socket of every exchange asks, and
// libcap's reading of every set makes two and allocates.
bool ReadRaw(bool& APermitted, bool& AEffective) {
    __user_cap_header_struct Header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct Data[_LINUX_CAPABILITY_U32S_3]{};
    if (::capget(&Header, Data) != 0) {
        return false;
    }
    const uint32_t Bit = 1u << (CAP_NET_RAW % 32);
    APermitted = (Data[CAP_NET_RAW / 32].permitted & Bit) != 0;
    AEffective = (Data[CAP_NET_RAW / 32].effective & Bit) != 0;
    return true;
}

// Puts CAP_NET_RAW into or out of the effective set; true when the set changed.
bool SetEffective(cap_flag_value_t AWanted) {
    bool Permitted = false;
    bool Effective = false;
    // A process that already holds it in force (root that kept every capability, a test
    // program) is left as it is: lowering it afterwards would take what it had.
    if (!ReadRaw(Permitted, Effective) || !Permitted || Effective == (AWanted == CAP_SET)) {
        return false;
    }
    cap_t Caps = ::cap_get_proc();
    if (Caps == nullptr) {
        return false;
    }
    cap_value_t Raw = CAP_NET_RAW;
    const bool Changed =
        ::cap_set_flag(Caps, CAP_EFFECTIVE, 1, &Raw, AWanted) == 0 && ::cap_set_proc(Caps) == 0;
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
