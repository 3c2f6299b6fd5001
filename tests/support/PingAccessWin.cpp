#include "tests/support/PingAccess.h"

#include <winsock2.h>

#include <windows.h>

namespace {
// A raw ICMP socket is for administrators only; the socket library is started and stopped
// around the probe so that the test's own start-up count stays as it was.
bool RawOpens(int AFamily = AF_INET, int AProtocol = IPPROTO_ICMP) {
    WSADATA Data;
    if (::WSAStartup(MAKEWORD(2, 2), &Data) != 0) {
        return false;
    }
    const SOCKET Socket = ::socket(AFamily, SOCK_RAW, AProtocol);
    const bool Opened = Socket != INVALID_SOCKET;
    if (Opened) {
        ::closesocket(Socket);
    }
    ::WSACleanup();
    return Opened;
}

// The ICMP API serves every user where the system has it.
bool IcmpApiOpens(const char* ACreate = "IcmpCreateFile") {
    const HMODULE Module = ::LoadLibraryA("iphlpapi.dll");
    if (Module == nullptr) {
        return false;
    }
    using TCreate = HANDLE(WINAPI*)();
    using TClose = BOOL(WINAPI*)(HANDLE);
    const auto Create =
        reinterpret_cast<TCreate>(reinterpret_cast<void*>(::GetProcAddress(Module, ACreate)));
    const auto Close = reinterpret_cast<TClose>(
        reinterpret_cast<void*>(::GetProcAddress(Module, "IcmpCloseHandle")));
    bool Opened = false;
    if (Create != nullptr && Close != nullptr) {
        const HANDLE Icmp = Create();
        Opened = Icmp != INVALID_HANDLE_VALUE;
        if (Opened) {
            Close(Icmp);
        }
    }
    ::FreeLibrary(Module);
    return Opened;
}
} // namespace

TPingAccess PingAccess() {
    if (RawOpens()) {
        return TPingAccess::Raw;
    }
    return IcmpApiOpens() ? TPingAccess::Datagram : TPingAccess::None;
}

TPingAccess Ping6Access() {
    if (RawOpens(AF_INET6, IPPROTO_ICMPV6)) {
        return TPingAccess::Raw;
    }
    return IcmpApiOpens("Icmp6CreateFile") ? TPingAccess::Datagram : TPingAccess::None;
}
