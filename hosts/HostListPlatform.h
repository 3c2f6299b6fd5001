#pragma once
// The host list's one seam to the file system; hosts/posix/ and hosts/win/ each implement it,
// chosen by the build. Errors are raised here as the host-list errors, with the path the
// user knows (not a temporary or link target) and the system's own text.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace HostListPlatform {

// The characters that end a folder (or drive) in a path on this platform.
std::string_view PathSeparators();

// The folder for the user's own settings: $XDG_CONFIG_HOME or ~/.config on POSIX, the
// roaming application data folder on Windows. Empty when the user has none.
std::string UserConfigFolder();

// Whether this user may write the file at APath, or, failing that, make files in its folder.
bool MayWriteFileOrFolder(const std::string& APath);

// Whether what lies at APath is, by the system's rule for folders that others share, not
// this user's to take as their own: in a folder that others may write and where only owners
// may remove (sticky), a file or link that neither this user, the folder's owner nor the
// administrator owns. Such a file is neither read nor written as the list.
bool OwnedByAnotherInSharedFolder(const std::string& APath);

// Once at start, before any save: a write past the file-size limit the process runs under
// then fails (and the save keeps the old list and says so) instead of ending the program
// half-way through the list.
void KeepRunningAtFileSizeLimit();

// Makes the folders that APath's folder lacks, for the user alone. Raises EFCreateError.
void MakeFolderFor(const std::string& APath);

enum class TReadResult { Read, Missing, Failed };
// Reads the whole file, opened with writing by others denied where the platform can deny
// it. Missing when nothing, or a folder, is at APath; Failed with the system's text when a
// file is there but cannot be read, or is another user's in a folder they share.
TReadResult ReadWholeFile(const std::string& APath, std::string& ABytes, std::string& ASystemText);

// Puts the list at APath back as it was before a save over it that was interrupted (killed,
// or the machine stopped), where one was and the list is still as that save left it; a list
// changed since stays as it is, and what it held before that save is kept aside for the user,
// said in one line on stderr. Raises EFOpenError or EFCreateError when the old list can be
// neither put back nor kept aside. Nothing to do where saves always go to a new file.
void FinishInterruptedSave(const std::string& APath);

// A new file beside the file at APath (beside a symbolic link's final target), which
// replaces that file on Commit and is removed when the object goes without one. Where no
// new file can be made there but the old one can be written, the old one is written in
// place instead, with what it takes to undo a save cut short. Only a regular file is ever
// written, never another user's in a folder they share (OwnedByAnotherInSharedFolder), and a
// link, at the end of the path or on the way, is followed only where the system would let
// another user's link be followed by no one: not in a shared sticky folder unless it is the
// user's or the folder's.
class TReplacement {
  public:
    // Raises EFCreateError when the file cannot be written there or the new one be made.
    explicit TReplacement(std::string APath);
    ~TReplacement();
    TReplacement(const TReplacement&) = delete;
    TReplacement& operator=(const TReplacement&) = delete;

    // Raises EWriteError when not every byte is written.
    void Write(const char* AData, std::size_t ASize);
    // Flushes the new file to disk and renames it over the old one. Raises EWriteError when
    // the flush fails, EFCreateError when the rename does.
    void Commit();

  private:
    // What each platform keeps while the new file is written, defined beside its code.
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

} // namespace HostListPlatform
