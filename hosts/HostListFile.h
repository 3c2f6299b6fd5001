#pragma once
// The host list's file beside the executable: read once when the window is made, written
// once when it goes.
#include <string>
#include <string_view>

class THostList;

// APath with the extension of its final component replaced by AExtension (appended when it
// has none). Separators are the platform's own. The program's files beside it (the host
// list, the help page) are named by this one rule.
std::string WithExtension(std::string_view APath, std::string_view AExtension);
// The executable's full path with ".txt" for its extension.
std::string HostListPathFor(std::string_view AExecutablePath);
// HostListPathFor the running executable's path as the system reports it.
std::string HostListPath();

class THostListFile {
  public:
    explicit THostListFile(std::string APath);

    const std::string& Path() const { return FPath; }

    // Fills AList from the file, or with the default entry when no file (a folder does not
    // count) exists there. Raises EFOpenError when the file exists but cannot be read: the
    // list is then empty, and Save leaves the file alone for the rest of the run.
    void Load(THostList& AList);

    // Writes every line followed by CR LF when AList holds at least one entry; an empty list
    // leaves the file untouched. The bytes go to a new file beside the old one, flushed to
    // disk and renamed over it only when all were written; a symbolic link is written
    // through to its target. Raises EFCreateError or EWriteError, the old file intact.
    void Save(const THostList& AList);

  private:
    std::string FPath;
    bool FLoadFailed = false;
};
