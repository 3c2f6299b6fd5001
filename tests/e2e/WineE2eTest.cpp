// The Windows program, vexlo.exe from the cross build, run under Wine on an X server of the
// test's own and used as a person uses it. Every copy runs in a network namespace: a fresh
// one with only loopback, or the netlab's client namespace where a host stays silent. Wine
// shows the pixels through X; what only Windows knows of the window (topmost, its region)
// comes from a small Windows program of the cross build asking the system under Wine.
#include "tests/e2e/E2eExpect.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/support/BuildPaths.h"
#include "tests/support/NetLab.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace e2e;
using namespace std::chrono_literals;

const std::filesystem::path WindowsBuild = buildpaths::WindowsBuild;
const std::filesystem::path WindowsProgram = WindowsBuild / "app" / "vexlo.exe";
const std::filesystem::path WindowsStatusLine = WindowsBuild / "tests/e2e/e2e_status_line.exe";
const std::filesystem::path WindowsFacts = WindowsBuild / "tests/e2e/e2e_window_facts.exe";
const char* const ClientNamespace = "/run/netns/vxl-cli";
const std::string QuietHost = "203.0.113.6"; // lab.sh: silent
const std::string DefaultHostList = "127.0.0.1=Localhost\r\n";

// A Wine prefix for one user: Wine refuses a prefix that another user owns. Made once and
// kept, as the first start of a prefix costs seconds.
struct TPrefix {
    std::filesystem::path Path;
    std::optional<TUser> User;

    std::vector<std::string> Environment(const TXServer& AServer) const {
        return {AServer.DisplayVariable(), "WINEPREFIX=" + Path.string(),
                "HOME=" + Path.parent_path().string(), "WINEDEBUG=-all",
                // No Gecko, Mono or menu entries: nothing here needs them.
                "WINEDLLOVERRIDES=mscoree,mshtml,winemenubuilder.exe="};
    }
};

TPrefix PrefixFor(const std::optional<TUser>& AUser) {
    if (AUser) {
        return {"/var/tmp/vexlo-e2e-" + std::to_string(AUser->Uid) + "/wine", AUser};
    }
    // Beside the prefix of the Windows unit tests (scripts/windows-tests.sh), not in it: both
    // may run at once.
    const char* Own = std::getenv("VEXLO_WINEPREFIX");
    const char* Home = std::getenv("HOME");
    const std::string Base = Own ? Own : std::string(Home ? Home : "/root") + "/.wine-vexlo";
    return {Base + "-e2e", std::nullopt};
}

// Makes the prefix when it is not there yet; empty when it is ready.
std::string Prepare(const TPrefix& APrefix, const TXServer& AServer) {
    if (std::filesystem::exists(APrefix.Path / "system.reg")) {
        return {};
    }
    std::error_code Ignored;
    std::filesystem::create_directories(APrefix.Path.parent_path(), Ignored);
    if (APrefix.User) {
        (void)!chown(APrefix.Path.parent_path().c_str(), APrefix.User->Uid, APrefix.User->Gid);
    }
    TProcess Boot({"wineboot", "-i"},
                  TProcessOptions{APrefix.Environment(AServer), std::nullopt, {}, APrefix.User});
    Boot.Wait(120s);
    TProcess Settle({"wineserver", "-w"},
                    TProcessOptions{APrefix.Environment(AServer), std::nullopt, {}, APrefix.User});
    Settle.Wait(60s);
    return std::filesystem::exists(APrefix.Path / "system.reg")
               ? std::string()
               : "wineboot made no prefix in " + APrefix.Path.string() + ": " + Boot.Output();
}

// Wine makes a program's sockets in its server process, so they live in the network
// namespace of whichever program started the server. Ended here, the server is started
// anew by the next program, in that program's namespace.
void StopServer(const TPrefix& APrefix, const TXServer& AServer) {
    for (const char* Step : {"-k", "-w"}) {
        TProcess Server(
            {"wineserver", Step},
            TProcessOptions{APrefix.Environment(AServer), std::nullopt, {}, APrefix.User});
        Server.Wait(30s);
    }
}

// A copy of vexlo.exe and its help page in a folder of its own: the host list beside it is
// the test's.
class TWineCopy {
  public:
    TWineCopy() {
        std::filesystem::copy_file(WindowsProgram, Folder() / "vexlo.exe");
        std::error_code NoHelpPage;
        std::filesystem::copy_file(WindowsProgram.parent_path() / "vexlo.html",
                                   Folder() / "vexlo.html", NoHelpPage);
    }
    const std::filesystem::path& Folder() const { return FFolder.Path(); }
    std::filesystem::path HostListPath() const { return Folder() / "vexlo.txt"; }

    std::unique_ptr<TProcess> Start(const TXServer& AServer, const TPrefix& APrefix,
                                    const TNetwork& ANetwork) const {
        if (APrefix.User) {
            for (const auto& Entry : std::filesystem::directory_iterator(Folder())) {
                (void)!chown(Entry.path().c_str(), APrefix.User->Uid, APrefix.User->Gid);
            }
            (void)!chown(Folder().c_str(), APrefix.User->Uid, APrefix.User->Gid);
        }
        return std::make_unique<TProcess>(
            std::vector<std::string>{"wine", (Folder() / "vexlo.exe").string()},
            TProcessOptions{APrefix.Environment(AServer), ANetwork, Folder() / "run.log",
                            APrefix.User});
    }

  private:
    TTempFolder FFolder;
};

class VexloUnderWine : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        FSkip = MissingPrerequisite({"wine", "wineboot", "wineserver", "ip", "nft", "bash"});
        for (const auto& Needed : {WindowsProgram, WindowsStatusLine, WindowsFacts}) {
            if (FSkip.empty() && !std::filesystem::exists(Needed)) {
                FSkip = Needed.string() + " is missing: build the windows preset with its Qt "
                                          "(scripts/qt-windows.sh) first";
            }
        }
        if (FSkip.empty()) {
            FLabError = FLab.Acquire();
        }
    }
    static void TearDownTestSuite() {
        const TRunResult Down = FLab.Release();
        EXPECT_EQ(Down.Code, 0) << Down.Output;
    }

    void SetUp() override {
        if (!FSkip.empty()) {
            GTEST_SKIP() << FSkip;
        }
        ASSERT_EQ(FLabError, "");
        Session = std::make_unique<TSession>();
        ASSERT_EQ(Session->Error(), "");
    }

    // A copy started as AUser (root when none), its window shown and painted.
    std::optional<TRunningProgram> Launch(const TWineCopy& ACopy, const TNetwork& ANetwork = {},
                                          const std::optional<TUser>& AUser = std::nullopt) {
        const TPrefix Prefix = PrefixFor(AUser);
        const std::string Failed = Prepare(Prefix, Session->Server());
        if (!Failed.empty()) {
            ADD_FAILURE() << Failed;
            return std::nullopt;
        }
        StopServer(Prefix, Session->Server());
        std::string Error;
        // Wine's first start in a prefix starts its services too.
        auto Program = Session->Adopt(ACopy.Start(Session->Server(), Prefix, ANetwork), Error, 40s);
        if (!Program) {
            ADD_FAILURE() << Error;
            return Program;
        }
        // With no window manager nobody hands Wine's window the keyboard, as a desktop
        // does for the window it has just opened: the test does.
        EXPECT_TRUE(Desktop().Xdotool({"windowfocus", "--sync", std::to_string(Program->Window)}));
        return Program;
    }

    // What Windows says of the window titled Vexlo: NAME -> the rest of its line.
    std::map<std::string, std::string> Facts(const std::optional<TUser>& AUser = std::nullopt,
                                             const std::vector<std::string>& AArgs = {}) {
        std::vector<std::string> Args{"wine", WindowsFacts.string()};
        Args.insert(Args.end(), AArgs.begin(), AArgs.end());
        TProcess Tool(
            Args, TProcessOptions{
                      PrefixFor(AUser).Environment(Session->Server()), std::nullopt, {}, AUser});
        Tool.Wait(30s);
        std::map<std::string, std::string> Result;
        std::istringstream Lines(Tool.Output());
        for (std::string Line; std::getline(Lines, Line);) {
            const auto Space = Line.find(' ');
            // Wine's console ends its lines with CR LF.
            if (!Line.empty() && Line.back() == '\r') {
                Line.pop_back();
            }
            if (Space != std::string::npos) {
                Result[Line.substr(0, Space)] = Line.substr(Space + 1);
            }
        }
        return Result;
    }

    // The status line as the Windows build draws it, with the same fonts under Wine.
    QImage Expected(const std::string& AText, QColor AColour) {
        const TTempFolder Folder;
        const std::string File = Folder / "line.png";
        const TRunResult Drawn = ::Run(
            {"wine", WindowsStatusLine.string(), AText, AColour.name().toStdString(), "Z:" + File},
            PrefixFor(std::nullopt).Environment(Session->Server()), 30s);
        QImage Image;
        EXPECT_TRUE(Drawn.Code == 0 && Image.load(QString::fromStdString(File), "PNG"))
            << "the Windows status line renderer failed: " << Drawn.Output;
        return Image.convertToFormat(QImage::Format_RGB32);
    }

    TSession::TStatusSeen TypeAndWait(const TRunningProgram& AProgram, const std::string& ATyped,
                                      const std::string& AText, QColor AColour,
                                      std::chrono::milliseconds ATimeout) {
        const QImage Line = Expected(AText, AColour);
        // All of the edit box's text replaced, whatever an earlier ping left selected.
        EXPECT_TRUE(Session->Desktop().Chord("ctrl", "a"));
        EXPECT_TRUE(Session->Desktop().Type(ATyped));
        const auto Pressed = TSession::Clock::now();
        EXPECT_TRUE(Session->Desktop().Key("Return"));
        return Session->WaitForLine(AProgram.Frame.topLeft(), Line, AText, Pressed, ATimeout,
                                    Artifacts());
    }

    std::filesystem::path Artifacts() const {
        return ArtifactsFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    const TDesktop& Desktop() const { return Session->Desktop(); }

    static inline TNetLab FLab{std::string(buildpaths::NetlabDir) + "/lab.sh"};
    static inline std::string FSkip;
    static inline std::string FLabError;
    std::unique_ptr<TSession> Session;
};

TEST_F(VexloUnderWine, TheWindowIsPlacedTopmostAndShaped) {
    TWineCopy Copy;
    const auto Program = Launch(Copy);
    ASSERT_TRUE(Program);
    EXPECT_EQ(Program->Frame, QRect(7, 7, 210, 60));

    const auto Said = Facts();
    EXPECT_EQ(Said.count("found") ? Said.at("found") : "", "1");
    EXPECT_EQ(Said.count("frame") ? Said.at("frame") : "", "7 7 210 60");
    EXPECT_EQ(Said.count("topmost") ? Said.at("topmost") : "", "1");
    // A complex region (3) of many rectangles: the picture's outline, not its box.
    EXPECT_EQ(Said.count("region") ? Said.at("region").substr(0, 2) : "", "3 ");

    // Every purple pixel of the picture's folded part shows the backdrop, and no other does.
    const QImage Picture = BackgroundPicture();
    const QImage Screen = Desktop().Screenshot();
    int Wrong = 0;
    for (int Y = 0; Y < std::min(Picture.height(), Program->Frame.height()); ++Y) {
        for (int X = 0; X < std::min(Picture.width(), Program->Frame.width()); ++X) {
            const bool SeeThrough = (Picture.pixel(X, Y) & RGB_MASK) == (Purple & RGB_MASK);
            const bool Backdrop = (Screen.pixel(Program->Frame.topLeft() + QPoint(X, Y)) &
                                   RGB_MASK) == (TBackdrop::Colour & RGB_MASK);
            Wrong += SeeThrough != Backdrop;
        }
    }
    EXPECT_EQ(Wrong, 0) << SaveArtifact(Screen, Artifacts(), "screen.png");
}

TEST_F(VexloUnderWine, EnterShowsTheOutcomeOfEachKindOfHost) {
    struct TCase {
        const char* Typed;
        const char* Status;
        QRgb Colour;
        int Picture;
    };
    // In the copy's private namespace no resolver answers; ".invalid" no resolver knows.
    const TCase Cases[] = {
        {"127.0.0.1", "Reply from 127.0.0.1", DarkGreen, 1},
        {"nowhere.invalid", "Name not found", Blue, 0},
    };
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.Typed);
        TWineCopy Copy;
        const auto Program = Launch(Copy);
        ASSERT_TRUE(Program);
        EXPECT_EQ(TypeAndWait(*Program, Case.Typed, Case.Status, Case.Colour, 5s).Failure, "");
        ExpectStatusPicture(Desktop().Screenshot(), Program->Frame.topLeft(), Case.Picture);
        ASSERT_TRUE(Desktop().Key("Escape"));
        EXPECT_EQ(Program->Process->Wait(10s), 0);
    }
}

// Raw ICMP as root; as nobody without any capability, Wine carries the echo over the
// namespace's ICMP datagram sockets, where ping_group_range admits nobody's group.
TEST_F(VexloUnderWine, ASilentHostTimesOutAfterASecondAndLoopbackAnswersForRootAndNobody) {
    const TUser User = Nobody();
    const TRunResult Range =
        FLab.Run("ping-group", std::to_string(User.Gid) + " " + std::to_string(User.Gid));
    ASSERT_EQ(Range.Code, 0) << Range.Output;
    for (const auto& As : {std::optional<TUser>(), std::optional<TUser>(User)}) {
        SCOPED_TRACE(As ? "as nobody" : "as root");
        TWineCopy Copy;
        const auto Program = Launch(Copy, TNetwork{ClientNamespace}, As);
        ASSERT_TRUE(Program);
        const auto Silent =
            TypeAndWait(*Program, QuietHost, "Timed out (" + QuietHost + ")", Red, 6s);
        EXPECT_EQ(Silent.Failure, "");
        EXPECT_GE(Silent.After, 900ms);
        EXPECT_LE(Silent.After, 2500ms);
        EXPECT_EQ(TypeAndWait(*Program, "127.0.0.1", "Reply from 127.0.0.1", DarkGreen, 5s).Failure,
                  "");
        ASSERT_TRUE(Desktop().Key("Escape"));
        EXPECT_EQ(Program->Process->Wait(10s), 0);
    }
    const TRunResult Closed = FLab.Run("ping-group", "1 0");
    EXPECT_EQ(Closed.Code, 0) << Closed.Output;
}

// Wine has no IPv6 ping: its socket server refuses raw ICMPv6 (WSAEPROTONOSUPPORT, to root
// too) and its ICMPv6 API is a stub (ERROR_CALL_NOT_IMPLEMENTED), whose code ends the ping at
// once; the window shows the first line of "Socket Error # 120\r\n", never a time-out.
TEST_F(VexloUnderWine, AnIpv6PingEndsAtOnceInTheIcmpv6ApisErrorForRootAndNobody) {
    for (const auto& As : {std::optional<TUser>(), std::optional<TUser>(Nobody())}) {
        SCOPED_TRACE(As ? "as nobody" : "as root");
        TWineCopy Copy;
        const auto Program = Launch(Copy, TNetwork{}, As);
        ASSERT_TRUE(Program);
        const auto Seen = TypeAndWait(*Program, "::1", "Socket Error # 120", Red, 5s);
        EXPECT_EQ(Seen.Failure, "");
        EXPECT_LT(Seen.After, 900ms);
        ExpectStatusPicture(Desktop().Screenshot(), Program->Frame.topLeft(), 0);
        ASSERT_TRUE(Desktop().Key("Escape"));
        EXPECT_EQ(Program->Process->Wait(10s), 0);
    }
}

TEST_F(VexloUnderWine, CtrlEUnfoldsTheGridAndEscWritesTheListBesideTheProgramInCrLf) {
    TWineCopy Copy;
    const auto Program = Launch(Copy);
    ASSERT_TRUE(Program);
    auto Height = [&] { return Desktop().Geometry(Program->Window).value_or(QRect()).height(); };
    ASSERT_TRUE(Desktop().Chord("ctrl", "e"));
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(Height(), 240);
    ASSERT_TRUE(Desktop().Chord("ctrl", "e"));
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(Height(), 60);
    ASSERT_TRUE(Desktop().Key("Escape"));
    EXPECT_EQ(Program->Process->Wait(10s), 0);
    EXPECT_EQ(ReadBytes(Copy.HostListPath()), DefaultHostList);
}

TEST_F(VexloUnderWine, ASecondStartRestoresTheFirstAndEnds) {
    TWineCopy First;
    const auto Program = Launch(First);
    ASSERT_TRUE(Program);
    ASSERT_EQ(Facts(std::nullopt, {"--minimize"})["iconic"], "1");

    TWineCopy Second;
    const auto Copy = Second.Start(Session->Server(), PrefixFor(std::nullopt), TNetwork{});
    EXPECT_EQ(Copy->Wait(20s), 0) << Copy->Output();
    const auto Said = Facts();
    EXPECT_EQ(Said.count("iconic") ? Said.at("iconic") : "", "0");
    EXPECT_EQ(Said.count("visible") ? Said.at("visible") : "", "1");
    EXPECT_TRUE(Program->Process->Running());
}

TEST_F(VexloUnderWine, AHeldEnterPingsOnceWhenReleased) {
    TWineCopy Copy;
    const auto Program = Launch(Copy);
    ASSERT_TRUE(Program);
    const pid_t Pid = Program->Process->Pid();
    ASSERT_EQ(EchoRequestsSent(Pid), 0);
    EXPECT_TRUE(Desktop().Xdotool({"keydown", "Return", "sleep", "2"}));
    EXPECT_EQ(EchoRequestsSent(Pid), 0) << "while Enter is held";
    const QImage Reply = Expected("Reply from 127.0.0.1", DarkGreen);
    EXPECT_TRUE(Desktop().Xdotool({"keyup", "Return"}));
    EXPECT_EQ(Session
                  ->WaitForLine(Program->Frame.topLeft(), Reply, "Reply from 127.0.0.1",
                                TSession::Clock::now(), 3s, Artifacts())
                  .Failure,
              "");
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(EchoRequestsSent(Pid), 1);
}

// The installer of the cross build (cpack -G NSIS), run silently as a user without any
// privilege in a prefix of that user's own: Wine counts every user as an administrator, so
// it installs for all users, as Windows does after its elevation prompt.
TEST_F(VexloUnderWine,
       TheInstallerPutsTheProgramIntoProgramFilesWithAStartMenuEntryAndAnUninstaller) {
    std::filesystem::path Installer;
    for (const auto& Entry : std::filesystem::directory_iterator(WindowsBuild)) {
        const std::string Name = Entry.path().filename().string();
        if (Name.rfind("vexlo-", 0) == 0 && Name.size() > 10 &&
            Name.substr(Name.size() - 10) == "-win64.exe") {
            Installer = Entry.path();
        }
    }
    if (Installer.empty()) {
        GTEST_SKIP() << "no installer in " << WindowsBuild << ": cpack -G NSIS there first";
    }
    const TUser User = Nobody();
    const TPrefix Prefix = PrefixFor(User);
    ASSERT_EQ(Prepare(Prefix, Session->Server()), "");
    const TTempFolder Download;
    const std::filesystem::path Copy = Download.Path() / Installer.filename();
    std::filesystem::copy_file(Installer, Copy);
    (void)!chown(Download.Path().c_str(), User.Uid, User.Gid);
    (void)!chown(Copy.c_str(), User.Uid, User.Gid);
    auto AsUser = [&](const std::vector<std::string>& AArgs, std::chrono::seconds ATimeout) {
        TProcess Step(AArgs,
                      TProcessOptions{Prefix.Environment(Session->Server()), TNetwork{}, {}, User});
        const auto Code = Step.Wait(ATimeout);
        return Code.value_or(-1);
    };
    ASSERT_EQ(AsUser({"wine", Copy.string(), "/S"}, 120s), 0);

    const std::filesystem::path Drive = Prefix.Path / "drive_c";
    const std::filesystem::path Folder = Drive / "Program Files" / "Vexlo";
    for (const char* File : {"vexlo.exe", "vexlo.html", "LICENSE.txt", "Uninstall.exe"}) {
        EXPECT_TRUE(std::filesystem::exists(Folder / File)) << File;
    }
    EXPECT_TRUE(ReadBytes(Folder / "vexlo.exe") == ReadBytes(WindowsProgram))
        << "the installed program is not the one built";
    const std::filesystem::path Shortcut =
        Drive / "ProgramData/Microsoft/Windows/Start Menu/Programs/Vexlo/Vexlo.lnk";
    EXPECT_TRUE(std::filesystem::exists(Shortcut)) << "the Start-menu entry for all users";

    // Program Files takes no file from a standard user on Windows; the folder root's alone
    // says the same to Wine. The installed program then keeps the user's list in their own
    // roaming folder, starting from the default entry.
    for (const auto& Entry : std::filesystem::directory_iterator(Folder)) {
        (void)!chown(Entry.path().c_str(), 0, 0);
    }
    (void)!chown(Folder.c_str(), 0, 0);
    ::chmod(Folder.c_str(), 0755);
    StopServer(Prefix, Session->Server());
    std::string Error;
    const auto Installed = Session->Adopt(
        std::make_unique<TProcess>(
            std::vector<std::string>{"wine", (Folder / "vexlo.exe").string()},
            TProcessOptions{Prefix.Environment(Session->Server()), TNetwork{}, {}, User}),
        Error, 40s);
    ASSERT_TRUE(Installed) << Error;
    EXPECT_TRUE(Desktop().Xdotool({"windowfocus", "--sync", std::to_string(Installed->Window)}));
    ASSERT_TRUE(Desktop().Key("Escape"));
    EXPECT_EQ(Installed->Process->Wait(10s), 0) << Installed->Process->Output();
    EXPECT_FALSE(std::filesystem::exists(Folder / "vexlo.txt"));
    const std::filesystem::path Own = Drive / "users/nobody/AppData/Roaming/vexlo/vexlo.txt";
    EXPECT_EQ(ReadBytes(Own), DefaultHostList) << Own;
    // Back to the user, who installed it and so may uninstall it.
    (void)!chown(Folder.c_str(), User.Uid, User.Gid);
    for (const auto& Entry : std::filesystem::directory_iterator(Folder)) {
        (void)!chown(Entry.path().c_str(), User.Uid, User.Gid);
    }

    // The uninstaller runs from a copy of itself and returns at once: its work shows soon.
    ASSERT_EQ(AsUser({"wine", (Folder / "Uninstall.exe").string(), "/S"}, 60s), 0);
    for (int I = 0; I < 100 && (std::filesystem::exists(Folder / "vexlo.exe") ||
                                std::filesystem::exists(Shortcut));
         ++I) {
        std::this_thread::sleep_for(200ms);
    }
    EXPECT_FALSE(std::filesystem::exists(Folder / "vexlo.exe"));
    EXPECT_FALSE(std::filesystem::exists(Shortcut));
}

} // namespace
