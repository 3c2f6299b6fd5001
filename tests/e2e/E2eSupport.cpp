#include "tests/e2e/E2eSupport.h"
#include "tests/support/BuildPaths.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sched.h>
#include <sstream>
#include <sys/mount.h>
#include <thread>
#include <unistd.h>

namespace e2e {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::filesystem::path TempFileName(const std::string& AStem) {
    std::string Pattern = (std::filesystem::temp_directory_path() / (AStem + "-XXXXXX")).string();
    const int Fd = mkstemp(Pattern.data());
    if (Fd >= 0) {
        close(Fd);
    }
    return Pattern;
}

std::string Trimmed(std::string AText) {
    while (!AText.empty() && (AText.back() == '\n' || AText.back() == ' ')) {
        AText.pop_back();
    }
    return AText;
}

} // namespace

std::string MissingPrerequisite(const std::vector<std::string>& AExtraTools) {
    if (geteuid() != 0) {
        return "end-to-end tests need root: the program pings through a raw socket, and each "
               "copy runs in a network namespace of its own";
    }
    std::vector<std::string> Tools{"Xvfb", "xdotool", "import", "xwininfo"};
    Tools.insert(Tools.end(), AExtraTools.begin(), AExtraTools.end());
    for (const std::string& Tool : Tools) {
        if (FindInPath(Tool).empty()) {
            return "end-to-end tests need '" + Tool +
                   "' (apt-get install xvfb xdotool imagemagick x11-utils)";
        }
    }
    return {};
}

TBackdrop::TBackdrop(const std::string& ADisplay) {
    FDisplay = XOpenDisplay(ADisplay.c_str());
    if (FDisplay == nullptr) {
        return;
    }
    const int Screen = DefaultScreen(FDisplay);
    XColor Fill{};
    Fill.red = static_cast<unsigned short>(qRed(Colour) * 257);
    Fill.green = static_cast<unsigned short>(qGreen(Colour) * 257);
    Fill.blue = static_cast<unsigned short>(qBlue(Colour) * 257);
    XAllocColor(FDisplay, DefaultColormap(FDisplay, Screen), &Fill);
    XSetWindowAttributes Attributes{};
    Attributes.background_pixel = Fill.pixel;
    // No window manager decides here; nothing is to stack it above the program later.
    Attributes.override_redirect = True;
    Attributes.event_mask = ButtonPressMask;
    FWindow = XCreateWindow(FDisplay, RootWindow(FDisplay, Screen), 0, 0,
                            static_cast<unsigned>(DisplayWidth(FDisplay, Screen)),
                            static_cast<unsigned>(DisplayHeight(FDisplay, Screen)), 0,
                            CopyFromParent, InputOutput, CopyFromParent,
                            CWBackPixel | CWOverrideRedirect | CWEventMask, &Attributes);
    XMapWindow(FDisplay, FWindow);
    XSync(FDisplay, False);
}

TBackdrop::~TBackdrop() {
    if (FDisplay != nullptr) {
        XDestroyWindow(FDisplay, FWindow);
        XCloseDisplay(FDisplay);
    }
}

std::vector<QPoint> TBackdrop::Presses(std::chrono::milliseconds ATimeout) {
    std::vector<QPoint> Result;
    const auto Deadline = Clock::now() + ATimeout;
    while (Result.empty() && Clock::now() < Deadline) {
        XSync(FDisplay, False);
        while (XPending(FDisplay) > 0) {
            XEvent Event;
            XNextEvent(FDisplay, &Event);
            if (Event.type == ButtonPress) {
                Result.emplace_back(Event.xbutton.x_root, Event.xbutton.y_root);
            }
        }
        if (Result.empty()) {
            std::this_thread::sleep_for(20ms);
        }
    }
    return Result;
}

TRunResult TDesktop::Tool(const std::vector<std::string>& AArgs) const {
    return Run(AArgs, {FServer.DisplayVariable()});
}

QImage TDesktop::Screenshot() const {
    const std::filesystem::path File = TempFileName("vexlo-e2e-shot");
    const TRunResult Result = Tool({"import", "-window", "root", "png:" + File.string()});
    QImage Image;
    if (Result.Code == 0) {
        Image.load(QString::fromStdString(File.string()), "PNG");
    }
    std::filesystem::remove(File);
    return Image.convertToFormat(QImage::Format_RGB32);
}

bool TDesktop::Xdotool(const std::vector<std::string>& AArgs) const {
    std::vector<std::string> Args{"xdotool"};
    Args.insert(Args.end(), AArgs.begin(), AArgs.end());
    return Tool(Args).Code == 0;
}

bool TDesktop::Chord(const std::string& AModifier, const std::string& AKey) const {
    return Xdotool({"keydown", AModifier, "key", AKey, "keyup", AModifier});
}

bool TDesktop::Type(const std::string& AText) const {
    return Xdotool({"type", "--delay", "30", AText});
}

bool TDesktop::Key(const std::string& AKey) const {
    return Xdotool({"key", AKey});
}

std::optional<unsigned long> TDesktop::FindWindow(const std::string& ATitle,
                                                  std::chrono::milliseconds ATimeout) const {
    const auto Deadline = Clock::now() + ATimeout;
    do {
        // Visible only: the toolkit's hidden leader window is named after the executable.
        const TRunResult Found =
            Tool({"xdotool", "search", "--onlyvisible", "--name", "^" + ATitle + "$"});
        if (Found.Code == 0 && !Found.Output.empty()) {
            return std::stoul(Found.Output);
        }
        std::this_thread::sleep_for(50ms);
    } while (Clock::now() < Deadline);
    return std::nullopt;
}

std::optional<QRect> TDesktop::Geometry(unsigned long AWindow) const {
    const TRunResult Result =
        Tool({"xdotool", "getwindowgeometry", "--shell", std::to_string(AWindow)});
    if (Result.Code != 0) {
        return std::nullopt;
    }
    int X = 0, Y = 0, Width = 0, Height = 0;
    std::istringstream Lines(Result.Output);
    for (std::string Line; std::getline(Lines, Line);) {
        const auto Equals = Line.find('=');
        if (Equals == std::string::npos) {
            continue;
        }
        const std::string Name = Line.substr(0, Equals);
        const int Value = std::atoi(Line.c_str() + Equals + 1);
        if (Name == "X") {
            X = Value;
        } else if (Name == "Y") {
            Y = Value;
        } else if (Name == "WIDTH") {
            Width = Value;
        } else if (Name == "HEIGHT") {
            Height = Value;
        }
    }
    return QRect(X, Y, Width, Height);
}

bool TDesktop::Viewable(unsigned long AWindow) const {
    const TRunResult Result = Tool({"xwininfo", "-id", std::to_string(AWindow)});
    return Result.Code == 0 && Result.Output.find("Map State: IsViewable") != std::string::npos;
}

std::optional<unsigned long> TDesktop::FocusedWindow() const {
    const TRunResult Result = Tool({"xdotool", "getwindowfocus"});
    if (Result.Code != 0 || Trimmed(Result.Output).empty()) {
        return std::nullopt;
    }
    return std::stoul(Result.Output);
}

TProgramCopy::TProgramCopy() {
    const std::filesystem::path Built = buildpaths::VexloProgram;
    std::filesystem::copy_file(Built, Binary());
    std::error_code NoHelpPage;
    std::filesystem::copy_file(Built.parent_path() / "vexlo.html", Folder() / "vexlo.html",
                               NoHelpPage);
}

std::unique_ptr<TProcess> TProgramCopy::Start(const TXServer& AServer, const TNetwork& ANetwork,
                                              const std::vector<std::string>& AEnvironment,
                                              const std::optional<TUser>& AUser,
                                              const std::vector<std::string>& AArguments) const {
    std::vector<std::string> Environment{AServer.DisplayVariable(), "QT_QPA_PLATFORM=xcb"};
    Environment.insert(Environment.end(), AEnvironment.begin(), AEnvironment.end());
    std::vector<std::string> Args{Binary().string()};
    Args.insert(Args.end(), AArguments.begin(), AArguments.end());
    return std::make_unique<TProcess>(
        Args, TProcessOptions{Environment, ANetwork, Folder() / "run.log", AUser});
}

void TProgramCopy::HandTo(const TUser& AUser) const {
    std::error_code Ignored;
    for (const auto& Entry : std::filesystem::directory_iterator(Folder(), Ignored)) {
        (void)!chown(Entry.path().c_str(), AUser.Uid, AUser.Gid);
    }
    (void)!chown(Folder().c_str(), AUser.Uid, AUser.Gid);
}

QImage RenderStatusLine(const TXServer& AServer, const std::string& AText, QColor AColour,
                        std::string& AError, int AWidth, bool AHelpLabel) {
    const std::filesystem::path File = TempFileName("vexlo-e2e-line");
    const TRunResult Result =
        Run({buildpaths::StatusLineProgram, AText, AColour.name().toStdString(), File.string(),
             std::to_string(AWidth), AHelpLabel ? "help" : ""},
            {AServer.DisplayVariable(), "QT_QPA_PLATFORM=xcb"});
    QImage Image;
    if (Result.Code != 0 || !Image.load(QString::fromStdString(File.string()), "PNG")) {
        AError = "the status line renderer failed (" + std::to_string(Result.Code) +
                 "): " + Result.Output;
    }
    std::filesystem::remove(File);
    return Image.convertToFormat(QImage::Format_RGB32);
}

THiddenFolder::THiddenFolder(const std::string& AFolder)
    : FOwnNamespace(open("/proc/self/ns/mnt", O_RDONLY | O_CLOEXEC)) {
    // Private first: the cover must not reach the machine's own namespace.
    if (FOwnNamespace < 0 || unshare(CLONE_NEWNS) != 0 ||
        mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        (std::filesystem::is_directory(AFolder) &&
         mount("none", AFolder.c_str(), "tmpfs", MS_RDONLY, "size=4k") != 0)) {
        FError = "cannot hide " + AFolder + ": " + std::strerror(errno);
    }
}

THiddenFolder::~THiddenFolder() {
    if (FOwnNamespace >= 0) {
        setns(FOwnNamespace, CLONE_NEWNS);
        close(FOwnNamespace);
    }
}

TCoveredFile::TCoveredFile(const std::string& AFile, const std::string& AContent)
    : FOwnNamespace(open("/proc/thread-self/ns/mnt", O_RDONLY | O_CLOEXEC)) {
    const std::string Cover = FFolder / "cover";
    WriteBytes(Cover, AContent);
    // Private first: the cover must not reach the machine's own namespace.
    if (FOwnNamespace < 0 || unshare(CLONE_NEWNS) != 0 ||
        mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount(Cover.c_str(), AFile.c_str(), nullptr, MS_BIND, nullptr) != 0) {
        FError = "cannot cover " + AFile + ": " + std::strerror(errno);
    }
}

TCoveredFile::~TCoveredFile() {
    if (FOwnNamespace >= 0) {
        setns(FOwnNamespace, CLONE_NEWNS);
        close(FOwnNamespace);
    }
}

int CountColour(const QImage& AImage, const QRect& AArea, QRgb AColour) {
    int Count = 0;
    for (int Y = AArea.top(); Y <= AArea.bottom(); ++Y) {
        for (int X = AArea.left(); X <= AArea.right(); ++X) {
            Count += AImage.valid(X, Y) && (AImage.pixel(X, Y) & RGB_MASK) == (AColour & RGB_MASK);
        }
    }
    return Count;
}

int EchoRequestsSent(pid_t APid) {
    const std::string Field = "/^Icmp: /{ if (f) { print $f; exit } for (f = 1; f < NF && $f != "
                              "\"OutEchos\"; f++); }";
    const TRunResult Sent = Run({"awk", Field, "/proc/" + std::to_string(APid) + "/net/snmp"}, {});
    return Sent.Code == 0 && !Sent.Output.empty() ? std::stoi(Sent.Output) : -1;
}

QImage BackgroundPicture() {
    return QImage(QString::fromUtf8(buildpaths::SourceDir) + "/resources/background.xpm")
        .convertToFormat(QImage::Format_RGB32);
}

std::filesystem::path ArtifactsFolder(const std::string& ATestName) {
    return std::filesystem::path(buildpaths::E2eArtifacts) / ATestName;
}

std::filesystem::path SaveArtifact(const QImage& AImage, const std::filesystem::path& AFolder,
                                   const std::string& AName) {
    std::error_code Ignored;
    std::filesystem::create_directories(AFolder, Ignored);
    const std::filesystem::path File = AFolder / AName;
    AImage.save(QString::fromStdString(File.string()));
    return File;
}

TSession::TSession(QSize AScreen) : FServer(AScreen.width(), AScreen.height()), FDesktop(FServer) {
    FError = FServer.Error();
    if (!FError.empty()) {
        return;
    }
    FBackdrop = std::make_unique<TBackdrop>(FServer.Name());
    if (!FBackdrop->Valid()) {
        FError = "cannot open " + FServer.Name() + " for the backdrop";
    }
}

std::optional<TRunningProgram> TSession::Launch(const TProgramCopy& ACopy, const TNetwork& ANetwork,
                                                std::string& AError,
                                                const std::vector<std::string>& AEnvironment,
                                                const std::optional<TUser>& AUser,
                                                const std::vector<std::string>& AArguments) {
    return Adopt(ACopy.Start(FServer, ANetwork, AEnvironment, AUser, AArguments), AError);
}

std::optional<TRunningProgram> TSession::Adopt(std::unique_ptr<TProcess> AProcess,
                                               std::string& AError,
                                               std::chrono::milliseconds ATimeout) {
    TRunningProgram Program;
    Program.Process = std::move(AProcess);
    const auto Window = FDesktop.FindWindow("Vexlo", ATimeout);
    const auto Frame = Window ? FDesktop.Geometry(*Window) : std::nullopt;
    if (!Frame) {
        AError = "no window titled Vexlo appeared within " + std::to_string(ATimeout.count()) +
                 " ms; the program wrote: " + Program.Process->Output();
        return std::nullopt;
    }
    Program.Window = *Window;
    Program.Frame = *Frame;
    // Painted once the bare background, scaled with the window, is white on the screen.
    const double Scale = Frame->width() / 210.0;
    const QPoint Probe = Frame->topLeft() + QPoint(static_cast<int>(BackgroundPoint.x() * Scale),
                                                   static_cast<int>(BackgroundPoint.y() * Scale));
    const auto Deadline = Clock::now() + 5s;
    while (Clock::now() < Deadline) {
        const QImage Screen = FDesktop.Screenshot();
        if (Screen.valid(Probe) && (Screen.pixel(Probe) & RGB_MASK) == (White & RGB_MASK)) {
            return Program;
        }
        std::this_thread::sleep_for(50ms);
    }
    AError = "the window was never painted; the program wrote: " + Program.Process->Output();
    return std::nullopt;
}

TSession::TStatusSeen TSession::WaitForStatus(QPoint ATopLeft, const std::string& AText,
                                              QColor AColour, Clock::time_point AStart,
                                              std::chrono::milliseconds ATimeout,
                                              const std::filesystem::path& ADiagnostics) {
    TStatusSeen Result;
    const QImage Expected = RenderStatusLine(FServer, AText, AColour, Result.Failure);
    if (!Result.Failure.empty()) {
        return Result;
    }
    Result = WaitForLine(ATopLeft, Expected, AText, AStart, ATimeout, ADiagnostics);
    if (!Result.Failure.empty()) {
        Result.Failure += " (" + AColour.name().toStdString() + ")";
    }
    return Result;
}

TSession::TStatusSeen TSession::WaitForLine(QPoint ATopLeft, const QImage& AExpected,
                                            const std::string& AText, Clock::time_point AStart,
                                            std::chrono::milliseconds ATimeout,
                                            const std::filesystem::path& ADiagnostics) {
    TStatusSeen Result;
    const QImage& Expected = AExpected;
    const QPoint At = ATopLeft + StatusLineBox.topLeft();
    QImage Screen;
    do {
        Screen = FDesktop.Screenshot();
        Result.Failure = CompareArea(Screen, At, Expected);
        Result.After = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - AStart);
        if (Result.Failure.empty()) {
            return Result;
        }
        std::this_thread::sleep_for(20ms);
    } while (Clock::now() - AStart < ATimeout);
    const std::filesystem::path Shot = SaveArtifact(Screen, ADiagnostics, "screen.png");
    const std::filesystem::path Line =
        SaveArtifact(Expected, ADiagnostics, "expected-status-line.png");
    Result.Failure = "the status line never read \"" + AText + "\" (" + Result.Failure + "); see " +
                     Shot.string() + " and " + Line.string();
    return Result;
}

} // namespace e2e
