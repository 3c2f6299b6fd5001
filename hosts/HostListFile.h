#pragma once
// The host list's file: beside the executable where the user may write there, else the
// user's own. Read once when the window is made, written once when it goes.
#include <string>
#include <string_view>

class THostList;

// APath with the extension of its final component replaced by AExtension (appended when it
// has none). Separators are the platform's own. The program's files beside it (the host
// list, the help page) are named by this one rule.
std::string WithExtension(std::string_view APath, std::string_view AExtension);
// The executable's full path with ".txt" for its extension.
std::string HostListPathFor(std::string_view AExecutablePath);

// Where the list is kept, and what a user who has none yet starts from.
struct THostListPlace {
    std::string Path;
    // The list beside the program (an administrator's, for everyone) when Path is the
    // user's own; empty when Path is the one beside the program.
    std::string StartFrom;
    // Path is the user's own list, whose folders the first save makes: with a list to start
    // from, and also where the list beside the program is another user's and is not read.
    bool Own = false;
};
// The file beside the program wherever the user may write it or its folder (a portable
// copy, a build tree, a list opened to everyone); otherwise, as for a program installed
// where only an administrator writes, "vexlo/vexlo.txt" in the user's config folder
// AConfigFolder. The user's own too, started from nothing and said in one line on stderr,
// where the file beside the program is another user's in a folder they share. Beside the
// program when the user has no config folder.
THostListPlace HostListPlaceFor(std::string_view AExecutablePath, std::string_view AConfigFolder);
// HostListPlaceFor the running executable and the user's config folder.
THostListPlace HostListPlace();
// The path of HostListPlace().
std::string HostListPath();

class THostListFile {
  public:
    // AStartFrom: the list beside the program to load instead while there is none at APath,
    // given when APath is the user's own list. AOwn: APath is the user's own list, whose
    // folders the first save makes.
    explicit THostListFile(std::string APath, std::string AStartFrom = {}, bool AOwn = false);

    const std::string& Path() const { return FPath; }

    // Fills AList from the file, or from the start-from list, or with the default entry when
    // neither file (a folder does not count) exists or the start-from list cannot be read. Raises
    // EFOpenError when the file exists but cannot be read, or another host-list error when what
    // an interrupted save left can be neither undone nor kept aside: the list is then empty, and
    // Save leaves the file alone for the rest of the run.
    void Load(THostList& AList);

    // Writes every line followed by CR LF when AList holds at least one entry; an empty list
    // leaves the file untouched. The bytes go to a new file beside the old one, flushed to
    // disk and renamed over it only when all were written; a symbolic link is written
    // through to its target. The user's own list gets its missing folders first. Raises
    // EFCreateError or EWriteError, the old file intact.
    void Save(const THostList& AList);

  private:
    std::string FPath;
    std::string FStartFrom;
    bool FOwn = false;
    bool FLoadFailed = false;
};
