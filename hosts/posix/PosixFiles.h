#pragma once
// What the POSIX side of the host list's file seam shares between the save beside the list
// and the save over it.
#include <string>
#include <string_view>

namespace HostListPlatform::Posix {

std::string ErrnoText(int AErrno);

// "<AStem><pid>-<attempt>.tmp": a file that has a name only while this process writes it.
std::string TempName(std::string_view AStem, unsigned AAttempt);

// Removes, from the folder open as ADirFd, the files named like TempName(AStem, ...) that
// processes which have ended left behind, when they are this user's own regular files: a
// link or another user's file of that name is not ours to remove, however it is named.
void RemoveLeftovers(int ADirFd, std::string_view AStem);

// The user's folder of one kind: $AVariable when it names an absolute path, else AUnderHome
// in the user's home ($HOME, else the password database's). Empty without a home.
std::string XdgFolder(const char* AVariable, const char* AUnderHome);

// Makes each missing folder of AFolder from the top down, for the user alone (mode 0700);
// false with errno set when one cannot be made.
bool MakeFolders(const std::string& AFolder);

// Opens APath, a path in which no folder nor the file is a symbolic link any more (every link
// on the way judged and resolved), refusing with ELOOP any link found in it now: one put there
// since it was judged is judged anew by the caller.
int OpenWithoutLinks(const std::string& APath, int AFlags);

// A whole file read from its start, and whole writes at an offset, resumed after a signal;
// false with errno set.
bool ReadAll(int AFd, std::string& ABytes);
bool WriteAllAt(int AFd, const char* AData, std::size_t ASize, long long AOffset);

} // namespace HostListPlatform::Posix
