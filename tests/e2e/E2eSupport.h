#pragma once
// The real program on a real X server of the test's own: processes started and ended by pid,
// a private network namespace for each copy, the desktop seen through screenshots and
// driven through xdotool as a person drives it.
#include "tests/support/FileBytes.h"
#include "tests/support/Ink.h"
#include "tests/support/Pixels.h"
#include "tests/support/Process.h"
#include "tests/support/TempFolder.h"
#include "tests/support/XServer.h"

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

struct _XDisplay;

// Readable failure messages for the places and frames the tests compare.
inline void PrintTo(const QPoint& APoint, std::ostream* AOut) {
    *AOut << "(" << APoint.x() << "," << APoint.y() << ")";
}
inline void PrintTo(const QRect& ARect, std::ostream* AOut) {
    *AOut << ARect.width() << "x" << ARect.height() << " at (" << ARect.x() << "," << ARect.y()
          << ")";
}

namespace e2e {

using ink::EndOfInk;
using ink::InkBox;

// Why these tests cannot run here, or empty when they can.
std::string MissingPrerequisite(const std::vector<std::string>& AExtraTools = {});

// A plain window of one colour covering the screen, made before the program starts so that
// it lies beneath the program's window: whatever shows through or is pressed through the
// program's window lands on it.
class TBackdrop {
  public:
    static constexpr QRgb Colour = 0xFF2563AD; // in no picture of the program

    explicit TBackdrop(const std::string& ADisplay);
    TBackdrop(const TBackdrop&) = delete;
    TBackdrop& operator=(const TBackdrop&) = delete;
    ~TBackdrop();

    bool Valid() const { return FDisplay != nullptr; }
    // Screen positions of the presses that reached the backdrop since the last call,
    // waiting up to ATimeout for the first.
    std::vector<QPoint> Presses(std::chrono::milliseconds ATimeout);

  private:
    ::_XDisplay* FDisplay = nullptr;
    unsigned long FWindow = 0;
};

// The desktop as a person meets it: what the screen shows, and the keyboard and mouse.
class TDesktop {
  public:
    explicit TDesktop(const TXServer& AServer) : FServer(AServer) {}

    QImage Screenshot() const;
    // xdotool with the given arguments; true when it succeeded.
    bool Xdotool(const std::vector<std::string>& AArgs) const;
    // A key pressed with a modifier held, as a hand does it: modifier down, key, modifier up.
    bool Chord(const std::string& AModifier, const std::string& AKey) const;
    bool Type(const std::string& AText) const;
    bool Key(const std::string& AKey) const;

    // The visible top-level window titled exactly ATitle, waiting up to ATimeout.
    std::optional<unsigned long> FindWindow(const std::string& ATitle,
                                            std::chrono::milliseconds ATimeout) const;
    std::optional<QRect> Geometry(unsigned long AWindow) const;
    bool Viewable(unsigned long AWindow) const;
    std::optional<unsigned long> FocusedWindow() const;

  private:
    TRunResult Tool(const std::vector<std::string>& AArgs) const;
    const TXServer& FServer;
};

// A copy of the program in a folder of its own, so that its host list file (the file
// beside it with the extension .txt) belongs to the test.
class TProgramCopy {
  public:
    TProgramCopy();
    const std::filesystem::path& Folder() const { return FFolder.Path(); }
    std::filesystem::path Binary() const { return Folder() / "vexlo"; }
    std::filesystem::path HostListPath() const { return Folder() / "vexlo.txt"; }
    std::unique_ptr<TProcess> Start(const TXServer& AServer, const TNetwork& ANetwork,
                                    const std::vector<std::string>& AEnvironment = {},
                                    const std::optional<TUser>& AUser = std::nullopt,
                                    const std::vector<std::string>& AArguments = {}) const;
    // Lets AUser run the copy and write its folder (the host list is saved there).
    void HandTo(const TUser& AUser) const;

  private:
    TTempFolder FFolder;
};

// The status line as the program's own label code draws it, text and colour given; in a box
// AWidth wide, and as the help label draws it when AHelpLabel.
QImage RenderStatusLine(const TXServer& AServer, const std::string& AText, QColor AColour,
                        std::string& AError, int AWidth = 161, bool AHelpLabel = false);

// A folder covered by an empty one for this process and every program it starts from now
// on, in a mount namespace of the process's own; the folder shows again when this ends.
class THiddenFolder {
  public:
    explicit THiddenFolder(const std::string& AFolder);
    THiddenFolder(const THiddenFolder&) = delete;
    THiddenFolder& operator=(const THiddenFolder&) = delete;
    ~THiddenFolder();
    const std::string& Error() const { return FError; }

  private:
    int FOwnNamespace = -1;
    std::string FError;
};

// AFile covered by a file that holds AContent, for this process and every program it starts
// from now on, in a mount namespace of the process's own, as `ip netns exec` covers
// /etc/hosts with a namespace's own; the file shows again when this ends.
class TCoveredFile {
  public:
    TCoveredFile(const std::string& AFile, const std::string& AContent);
    TCoveredFile(const TCoveredFile&) = delete;
    TCoveredFile& operator=(const TCoveredFile&) = delete;
    ~TCoveredFile();
    const std::string& Error() const { return FError; }

  private:
    TTempFolder FFolder;
    int FOwnNamespace = -1;
    std::string FError;
};

using pixels::CompareArea;

// How many pixels of AArea in AImage have exactly AColour.
int CountColour(const QImage& AImage, const QRect& AArea, QRgb AColour);

// Echo requests sent so far in APid's network namespace, as its kernel counts them.
int EchoRequestsSent(pid_t APid);

// The window's picture, as compiled into the program.
QImage BackgroundPicture();

// Where a failing test leaves its screenshots: in the build tree, kept after the run.
std::filesystem::path ArtifactsFolder(const std::string& ATestName);
std::filesystem::path SaveArtifact(const QImage& AImage, const std::filesystem::path& AFolder,
                                   const std::string& AName);

// Places in the window, in its own pixels (x and y from its top left corner).
inline const QRect StatusLineBox{8, 42, 161, 13};
inline const QRect StatusPictureBox{110, 14, 16, 16};
inline const QRect EditBox{18, 14, 91, 14};
inline const QRect HelpLabelBox{176, 42, 22, 13};
// Bare white background of the status area, away from every control.
inline const QPoint BackgroundPoint{60, 37};

inline constexpr QRgb Black = 0xFF000000;
inline constexpr QRgb Blue = 0xFF0000FF;
inline constexpr QRgb DarkGreen = 0xFF008000;
inline constexpr QRgb Red = 0xFFFF0000;
inline constexpr QRgb White = 0xFFFFFFFF;
inline constexpr QRgb Purple = 0xFF800080;

struct TRunningProgram {
    std::unique_ptr<TProcess> Process;
    unsigned long Window = 0;
    QRect Frame; // on the screen, in the screen's pixels
};

// One X server of the test's own, with a backdrop beneath everything and the desktop tools.
class TSession {
  public:
    using Clock = std::chrono::steady_clock;

    // An X server whose screen has the size AScreen, in its pixels.
    explicit TSession(QSize AScreen = {640, 480});
    // Empty when the server runs and the backdrop is up.
    const std::string& Error() const { return FError; }
    const TXServer& Server() const { return FServer; }
    TBackdrop& Backdrop() { return *FBackdrop; }
    const TDesktop& Desktop() const { return FDesktop; }

    // Starts the copy and waits until its window is shown and painted. Nothing, with
    // AError saying why, when that does not happen within a few seconds.
    std::optional<TRunningProgram> Launch(const TProgramCopy& ACopy, const TNetwork& ANetwork,
                                          std::string& AError,
                                          const std::vector<std::string>& AEnvironment = {},
                                          const std::optional<TUser>& AUser = std::nullopt,
                                          const std::vector<std::string>& AArguments = {});
    // The same for a program started otherwise (under Wine, say), waiting up to ATimeout.
    std::optional<TRunningProgram>
    Adopt(std::unique_ptr<TProcess> AProcess, std::string& AError,
          std::chrono::milliseconds ATimeout = std::chrono::seconds(10));

    struct TStatusSeen {
        std::string Failure; // empty: seen
        std::chrono::milliseconds After{0};
    };
    // Waits until the status line of the window at ATopLeft shows AText in AColour exactly as
    // the program's label code draws it; After counts from AStart. On failure the last
    // screenshot and the expected line are kept under ADiagnostics.
    TStatusSeen WaitForStatus(QPoint ATopLeft, const std::string& AText, QColor AColour,
                              Clock::time_point AStart, std::chrono::milliseconds ATimeout,
                              const std::filesystem::path& ADiagnostics);
    // The same against a status line drawn elsewhere (by the Windows build, say).
    TStatusSeen WaitForLine(QPoint ATopLeft, const QImage& AExpected, const std::string& AText,
                            Clock::time_point AStart, std::chrono::milliseconds ATimeout,
                            const std::filesystem::path& ADiagnostics);

  private:
    TXServer FServer;
    std::unique_ptr<TBackdrop> FBackdrop;
    TDesktop FDesktop;
    std::string FError;
};

} // namespace e2e
