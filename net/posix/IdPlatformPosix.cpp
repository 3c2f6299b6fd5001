// POSIX side of the platform seam besides the sockets: the library loader that hands the
// binding the C library adapters, the messages of the codes it maps errno to, the clock
// and the process id.
#include "net/IdPlatform.h"
#include "net/IdResourceStrings.h"
#include "net/posix/PosixSockets.h"
#include "system/System.h"

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <net/if.h>
#include <pthread.h>
#include <strings.h>
#include <unistd.h>

namespace {

thread_local uint32_t LastLoaderError = 0;

// The one "module" there is: a library that no loader frees.
char SocketsModule;

IdPlatform::TModule PosixLoad(const char* AName) {
    // Library names are case-insensitive, as on Windows.
    if (::strcasecmp(AName, IdResourceStrings::RSWS2LibraryName) == 0) {
        return &SocketsModule;
    }
    LastLoaderError = IdPosix::ErrorModNotFound;
    return nullptr;
}

IdPlatform::TEntry PosixFindEntry(IdPlatform::TModule, const char* AName) {
    const IdPlatform::TEntry Entry = IdPosix::FindSocketAdapter(AName);
    if (Entry == nullptr) {
        LastLoaderError = IdPosix::ErrorProcNotFound;
    }
    return Entry;
}
void PosixFree(IdPlatform::TModule) {}
uint32_t PosixLastError() {
    return LastLoaderError;
}

const IdPlatform::TLibraryLoader PosixLoader{&PosixLoad, &PosixFindEntry, &PosixFree,
                                             &PosixLastError};

} // namespace

namespace IdPlatform {

const TLibraryLoader& SystemLibraryLoader() {
    return PosixLoader;
}

std::string SystemErrorMessage(uint32_t ACode) {
    switch (ACode) {
    case IdPosix::ErrorModNotFound:
        return "The specified module could not be found.";
    case IdPosix::ErrorProcNotFound:
        return "The specified procedure could not be found.";
    default:
        break;
    }
    const int Errno = IdPosix::ErrnoFromCode(ACode);
    if (Errno == 0) {
        return {};
    }
    return System::ErrorMessage(static_cast<uint32_t>(Errno));
}

uint32_t TickCount() {
    timespec Now{};
    ::clock_gettime(CLOCK_MONOTONIC, &Now);
    const uint64_t Ms =
        static_cast<uint64_t>(Now.tv_sec) * 1000u + static_cast<uint64_t>(Now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(Ms);
}

namespace {
// glibc makes a system call of every getpid(), and each echo request asks: kept, and
// forgotten in the child of a fork.
std::atomic<uint32_t> KnownProcessId{0};
void ForgetProcessId() {
    KnownProcessId.store(0, std::memory_order_relaxed);
}
} // namespace

uint32_t CurrentProcessId() {
    uint32_t Id = KnownProcessId.load(std::memory_order_relaxed);
    if (Id == 0) {
        static const bool Watching = ::pthread_atfork(nullptr, nullptr, ForgetProcessId) == 0;
        Id = static_cast<uint32_t>(::getpid());
        if (Watching) {
            KnownProcessId.store(Id, std::memory_order_relaxed);
        }
    }
    return Id;
}

uint32_t ZoneIndex(const std::string& AZone) {
    if (AZone.empty()) {
        return 0;
    }
    char* End = nullptr;
    const unsigned long Number = std::strtoul(AZone.c_str(), &End, 10);
    if (*End == '\0' && AZone[0] >= '0' && AZone[0] <= '9') {
        return Number <= 0xFFFFFFFFUL ? static_cast<uint32_t>(Number) : 0;
    }
    return ::if_nametoindex(AZone.c_str());
}

} // namespace IdPlatform
