#pragma once
// Writing the list over itself, for a list the user may write in a folder that takes no new
// file. Without a new file to rename there is no moment at which the old bytes or the new
// ones are whole on disk by themselves, so the old bytes go first to an undo copy in the
// user's own state folder; a save that did not finish is undone from it at the next start.
#include <string>

namespace HostListPlatform::InPlace {

// Writes ABytes over the regular file open for reading and writing as AFd: the list at
// ATarget (links followed), at APath as the user knows it. Raises EFCreateError naming the list
// when another program keeps its lock, naming the state folder when the undo copy cannot be
// made there, and EWriteError when the bytes do not all reach the disk; either way the file
// holds its old bytes once the call returns, or, should even putting them back fail, at the
// next start.
void Save(const std::string& APath, const std::string& ATarget, int AFd, const std::string& ABytes);

// Puts back the old bytes of a save of the list at ATarget (links followed; APath for the
// messages) that a kill or a crash interrupted, while the list is as that save could have
// left it; otherwise keeps them aside in the state folder and says where on stderr. Raises
// EFOpenError or EFCreateError when they can be neither put back nor kept aside: the undo
// copy then stays for a later start. Also removes the copies of lists long gone.
void Undo(const std::string& APath, const std::string& ATarget);

} // namespace HostListPlatform::InPlace
