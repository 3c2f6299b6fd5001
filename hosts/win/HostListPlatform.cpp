// Windows side of the host list's file seam.
#include "hosts/HostListPlatform.h"

#include "hosts/HostListErrors.h"
#include "system/System.h"

#include "system/win/WindowsApi.h"

#include <algorithm>
#include <cstdlib>
#include <shlobj.h>

namespace HostListPlatform {
namespace {

// DWORD-sized pieces: ReadFile and WriteFile take no more at once.
constexpr std::size_t MaxChunk = std::size_t{1} << 30;

std::string ErrorText(DWORD ACode) {
    return System::ErrorMessage(ACode);
}

bool IsMissing(DWORD ACode) {
    return ACode == ERROR_FILE_NOT_FOUND || ACode == ERROR_PATH_NOT_FOUND ||
           ACode == ERROR_INVALID_NAME;
}

// The file a symbolic link (a reparse point) ends at, as "C:\..." or "\\server\...".
// Replacing the link itself would cut it. A link whose target is gone is replaced.
std::string FinalTarget(const std::string& APath) {
    const DWORD Attributes = ::GetFileAttributesA(APath.c_str());
    if (Attributes == INVALID_FILE_ATTRIBUTES || !(Attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return APath;
    }
    const HANDLE File =
        ::CreateFileA(APath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (File == INVALID_HANDLE_VALUE) {
        return APath;
    }
    std::string Result(MAX_PATH, '\0');
    DWORD Length = 0;
    for (;;) {
        Length = ::GetFinalPathNameByHandleA(File, Result.data(), static_cast<DWORD>(Result.size()),
                                             FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (Length < Result.size()) {
            break;
        }
        Result.resize(Length); // the size needed, its terminating zero included
    }
    ::CloseHandle(File);
    if (Length == 0) {
        return APath;
    }
    Result.resize(Length);
    if (Result.starts_with("\\\\?\\UNC\\")) {
        return "\\\\" + Result.substr(8);
    }
    if (Result.starts_with("\\\\?\\")) {
        return Result.substr(4);
    }
    return Result;
}

} // namespace

std::string_view PathSeparators() {
    // "D:vexlo.exe" is a name in D:'s current folder.
    return "\\/:";
}

std::string UserConfigFolder() {
    // The roaming folder: a user's settings follow them from one computer of a domain to the
    // next, as they expect of a list they typed.
    char Folder[MAX_PATH];
    if (SUCCEEDED(
            ::SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, Folder))) {
        return Folder;
    }
    const char* AppData = std::getenv("APPDATA");
    return AppData != nullptr ? std::string(AppData) : std::string();
}

bool MayWriteFileOrFolder(const std::string& APath) {
    // Access control lists, not attributes, decide here (a folder in Program Files is not
    // read-only, yet only an administrator writes it): asking for the access tells.
    const HANDLE File = ::CreateFileA(APath.c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (File != INVALID_HANDLE_VALUE) {
        ::CloseHandle(File);
        return true;
    }
    const std::size_t Sep = APath.find_last_of("\\/");
    const std::string Probe =
        (Sep == std::string::npos ? std::string() : APath.substr(0, Sep + 1)) + "vexlo-" +
        std::to_string(::GetCurrentProcessId()) + ".probe";
    const HANDLE Made =
        ::CreateFileA(Probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (Made == INVALID_HANDLE_VALUE) {
        return false;
    }
    ::CloseHandle(Made);
    return true;
}

void MakeFolderFor(const std::string& APath) {
    const std::size_t Last = APath.find_last_of("\\/");
    if (Last == std::string::npos) {
        return;
    }
    // Each prefix in turn: those above the user's folder exist or are not ours to make.
    for (std::size_t Sep = APath.find_first_of("\\/"); Sep != std::string::npos && Sep <= Last;
         Sep = APath.find_first_of("\\/", Sep + 1)) {
        if (Sep > 0 && APath[Sep - 1] != ':' && APath[Sep - 1] != '\\') {
            ::CreateDirectoryA(APath.substr(0, Sep).c_str(), nullptr);
        }
    }
    const DWORD Attributes = ::GetFileAttributesA(APath.substr(0, Last).c_str());
    if (Attributes == INVALID_FILE_ATTRIBUTES || !(Attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        throw EFCreateError(APath, ErrorText(::GetLastError()));
    }
}

TReadResult ReadWholeFile(const std::string& APath, std::string& ABytes, std::string& ASystemText) {
    const DWORD Attributes = ::GetFileAttributesA(APath.c_str());
    if (Attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD Error = ::GetLastError();
        if (IsMissing(Error)) {
            return TReadResult::Missing;
        }
        ASystemText = ErrorText(Error);
        return TReadResult::Failed;
    }
    if (Attributes & FILE_ATTRIBUTE_DIRECTORY) {
        return TReadResult::Missing;
    }
    // FILE_SHARE_READ alone: nobody may write the file while it is read, and a file that
    // someone is writing is not opened half-written.
    const HANDLE File =
        ::CreateFileA(APath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (File == INVALID_HANDLE_VALUE) {
        const DWORD Error = ::GetLastError();
        if (IsMissing(Error)) {
            return TReadResult::Missing;
        }
        ASystemText = ErrorText(Error);
        return TReadResult::Failed;
    }
    LARGE_INTEGER Size{};
    ::GetFileSizeEx(File, &Size);
    // The size is a hint only; reading goes on to the end of the file.
    std::string Bytes(static_cast<std::size_t>(Size.QuadPart > 0 ? Size.QuadPart : 0) + 1, '\0');
    std::size_t Used = 0;
    for (;;) {
        if (Used == Bytes.size()) {
            Bytes.resize(Bytes.size() * 2);
        }
        DWORD Got = 0;
        const std::size_t Want = std::min(Bytes.size() - Used, MaxChunk);
        if (!::ReadFile(File, Bytes.data() + Used, static_cast<DWORD>(Want), &Got, nullptr)) {
            ASystemText = ErrorText(::GetLastError());
            ::CloseHandle(File);
            return TReadResult::Failed;
        }
        if (Got == 0) {
            break;
        }
        Used += Got;
    }
    ::CloseHandle(File);
    Bytes.resize(Used);
    ABytes = std::move(Bytes);
    return TReadResult::Read;
}

bool OwnedByAnotherInSharedFolder(const std::string&) {
    // Access control lists decide who may replace or read a file in a shared folder.
    return false;
}

void KeepRunningAtFileSizeLimit() {
    // No limit on a process's file sizes here.
}

void FinishInterruptedSave(const std::string&) {
    // Every save here goes to a new file that replaces the old one whole.
}

struct TReplacement::TImpl {
    std::string Path;   // as the user knows it, for the messages
    std::string Target; // the file to replace, links followed
    std::string Temp;
    HANDLE Handle = INVALID_HANDLE_VALUE;
    bool Open = false;

    void Discard() {
        if (Open) {
            ::CloseHandle(Handle);
            ::DeleteFileA(Temp.c_str());
            Open = false;
        }
    }
};

TReplacement::TReplacement(std::string APath) : FImpl(std::make_unique<TImpl>()) {
    TImpl& F = *FImpl;
    F.Path = std::move(APath);
    F.Target = FinalTarget(F.Path);
    // Replacing by rename would pass over a read-only file, or one another program holds
    // open for writing; either is refused as truncating it would be, and left alone.
    const HANDLE Probe = ::CreateFileA(F.Target.c_str(), GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (Probe == INVALID_HANDLE_VALUE) {
        const DWORD Error = ::GetLastError();
        if (!IsMissing(Error)) {
            throw EFCreateError(F.Path, ErrorText(Error));
        }
    } else {
        ::CloseHandle(Probe);
        // Windows refuses to open a read-only file for writing; Wine run as root does not.
        if (::GetFileAttributesA(F.Target.c_str()) & FILE_ATTRIBUTE_READONLY) {
            throw EFCreateError(F.Path, ErrorText(ERROR_ACCESS_DENIED));
        }
    }
    HANDLE File = INVALID_HANDLE_VALUE;
    for (unsigned Attempt = 0; File == INVALID_HANDLE_VALUE; ++Attempt) {
        F.Temp = F.Target + "." + std::to_string(::GetCurrentProcessId()) + "-" +
                 std::to_string(Attempt) + ".tmp";
        File = ::CreateFileA(F.Temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        if (File == INVALID_HANDLE_VALUE) {
            const DWORD Error = ::GetLastError();
            if (Error != ERROR_FILE_EXISTS || Attempt == 100) {
                throw EFCreateError(F.Path, ErrorText(Error));
            }
        }
    }
    F.Handle = File;
    F.Open = true;
}

TReplacement::~TReplacement() {
    FImpl->Discard();
}

void TReplacement::Write(const char* AData, std::size_t ASize) {
    TImpl& F = *FImpl;
    while (ASize > 0) {
        DWORD Done = 0;
        const DWORD Want = static_cast<DWORD>(std::min(ASize, MaxChunk));
        if (!::WriteFile(F.Handle, AData, Want, &Done, nullptr) || Done == 0) {
            F.Discard();
            throw EWriteError();
        }
        AData += Done;
        ASize -= Done;
    }
}

void TReplacement::Commit() {
    TImpl& F = *FImpl;
    // Data on disk before the name points at it: otherwise a crash right after the move
    // can leave an empty file where the old list was.
    if (!::FlushFileBuffers(F.Handle)) {
        F.Discard();
        throw EWriteError();
    }
    F.Open = false;
    if (!::CloseHandle(F.Handle)) {
        ::DeleteFileA(F.Temp.c_str());
        throw EWriteError();
    }
    // The old file's hidden and system marks go over to the new one.
    const DWORD Old = ::GetFileAttributesA(F.Target.c_str());
    const DWORD Kept = Old == INVALID_FILE_ATTRIBUTES
                           ? 0
                           : Old & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                    FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if (Kept != 0) {
        ::SetFileAttributesA(F.Temp.c_str(), Kept | FILE_ATTRIBUTE_ARCHIVE);
    }
    if (!::MoveFileExA(F.Temp.c_str(), F.Target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD Error = ::GetLastError();
        ::SetFileAttributesA(F.Temp.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileA(F.Temp.c_str());
        throw EFCreateError(F.Path, ErrorText(Error));
    }
}

} // namespace HostListPlatform
