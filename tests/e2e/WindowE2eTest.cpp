// The real program in a real X server, used as a person uses it: keys and chords through
// xdotool, the outcome read from screenshots and from the host list file on disk. Each copy
// runs in a network namespace of its own with only loopback, so nothing leaves the machine.
#include "tests/e2e/E2eExpect.h"
#include "tests/e2e/E2eSupport.h"

#include <QString>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace e2e;
using namespace std::chrono_literals;

const std::string DefaultHostList = "127.0.0.1=Localhost\r\n";

class VexloWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string Missing = MissingPrerequisite();
        if (!Missing.empty()) {
            GTEST_SKIP() << Missing;
        }
        Session = std::make_unique<TSession>();
        ASSERT_EQ(Session->Error(), "");
    }

    // A copy of the program in its own folder and namespace, its window shown and painted.
    std::optional<TRunningProgram> Launch(const TProgramCopy& ACopy,
                                          const std::vector<std::string>& AEnvironment = {},
                                          const std::vector<std::string>& AArguments = {},
                                          const TNetwork& ANetwork = {}) {
        std::string Error;
        auto Program =
            Session->Launch(ACopy, ANetwork, Error, AEnvironment, std::nullopt, AArguments);
        if (!Program) {
            ADD_FAILURE() << Error;
        }
        return Program;
    }

    std::filesystem::path Artifacts() const {
        return ArtifactsFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }

    const TDesktop& Desktop() const { return Session->Desktop(); }

    std::unique_ptr<TSession> Session;
};

TEST_F(VexloWindow, EnterShowsTheOutcomeInTheStatusLineThePictureAndTheEditBox) {
    struct TCase {
        const char* Typed;
        const char* Status;
        QRgb Colour;
        int Picture; // 1: the reply's, with its green arrow; 0: neither arrow nor red disc
        bool EditBoxRed;
    };
    // Display names are looked up ignoring case; ".invalid" is a name no resolver knows, and
    // in the program's private namespace the query fails at once.
    const TCase Cases[] = {
        {"LOCALHOST", "Reply from 127.0.0.1", DarkGreen, 1, false},
        {"nowhere.invalid", "Name not found", Blue, 0, true},
        {"0.0.0.0", "Name not found", Blue, 0, true},
    };
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.Typed);
        TProgramCopy Copy;
        const auto Program = Launch(Copy);
        ASSERT_TRUE(Program);
        const QPoint Origin = Program->Frame.topLeft();
        ASSERT_EQ(
            Session
                ->WaitForStatus(Origin, "Not pinged", Blue, TSession::Clock::now(), 3s, Artifacts())
                .Failure,
            "");

        // The edit text is selected when the window takes the focus: typing replaces it.
        ASSERT_TRUE(Desktop().Type(Case.Typed));
        const auto Pressed = TSession::Clock::now();
        ASSERT_TRUE(Desktop().Key("Return"));
        const auto Seen =
            Session->WaitForStatus(Origin, Case.Status, Case.Colour, Pressed, 5s, Artifacts());
        EXPECT_EQ(Seen.Failure, "");

        const QImage Screen = Desktop().Screenshot();
        ExpectStatusPicture(Screen, Origin, Case.Picture);
        const QRect Edit = EditBox.translated(Origin);
        const int EditRed = CountColour(Screen, Edit, Red);
        if (Case.EditBoxRed) {
            EXPECT_GT(EditRed, Edit.width() * Edit.height() * 3 / 4);
        } else {
            EXPECT_EQ(EditRed, 0);
        }
    }
}

TEST_F(VexloWindow, PressesOnSeeThroughPixelsReachTheWindowBeneathAndNoOthers) {
    struct TCase {
        const char* What;
        QPoint At; // in the window
        bool SeeThrough;
    };
    const TCase Cases[] = {
        {"the top rows", {100, 0}, true},
        {"the left columns beside the upper panel", {0, 30}, true},
        {"the right columns beside the upper panel", {209, 30}, true},
        {"a corner outside the rounded panel", {2, 2}, true},
        {"the white status area", BackgroundPoint, false},
        {"the magenta ring", {8, 20}, false},
        {"the panel's outline", {2, 30}, false},
    };
    const QImage Picture = BackgroundPicture();
    TProgramCopy Copy;
    const auto Program = Launch(Copy);
    ASSERT_TRUE(Program);
    Session->Backdrop().Presses(0ms);
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.What);
        ASSERT_EQ((Picture.pixel(Case.At) & RGB_MASK) == (Purple & RGB_MASK), Case.SeeThrough)
            << "the table disagrees with the picture";
        const QPoint At = Program->Frame.topLeft() + Case.At;
        ASSERT_TRUE(Desktop().Xdotool({"mousemove", std::to_string(At.x()), std::to_string(At.y()),
                                       "click", "1", "mousemove", "600", "400"}));
        const std::vector<QPoint> Presses =
            Session->Backdrop().Presses(Case.SeeThrough ? 2s : 500ms);
        if (Case.SeeThrough) {
            ASSERT_EQ(Presses.size(), 1u);
            EXPECT_EQ(Presses[0], At);
        } else {
            EXPECT_TRUE(Presses.empty());
        }
    }
}

TEST_F(VexloWindow, DraggingTheBackgroundOrTheStatusLineMovesTheWindowAndNothingElseDoes) {
    struct TCase {
        const char* What;
        QPoint From; // in the window
        bool Moves;
    };
    const TCase Cases[] = {
        {"the white background", BackgroundPoint, true},
        {"the magenta ring", {8, 20}, true},
        {"the status line", {60, 47}, true},
        {"the status picture", {117, 21}, false},
        {"the help label", {186, 47}, false},
        {"the edit box", {60, 20}, false},
    };
    const QPoint Drag(40, 30);
    TProgramCopy Copy;
    const auto Program = Launch(Copy);
    ASSERT_TRUE(Program);
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.What);
        const auto Before = Desktop().Geometry(Program->Window);
        ASSERT_TRUE(Before);
        const QPoint From = Before->topLeft() + Case.From;
        const QPoint Midway = From + QPoint(10, 5);
        const QPoint To = From + Drag;
        auto Text = [](int AValue) { return std::to_string(AValue); };
        ASSERT_TRUE(Desktop().Xdotool({"mousemove",
                                       Text(From.x()),
                                       Text(From.y()),
                                       "mousedown",
                                       "1",
                                       "sleep",
                                       "0.1",
                                       "mousemove",
                                       Text(Midway.x()),
                                       Text(Midway.y()),
                                       "sleep",
                                       "0.1",
                                       "mousemove",
                                       Text(To.x()),
                                       Text(To.y()),
                                       "sleep",
                                       "0.1",
                                       "mouseup",
                                       "1",
                                       "mousemove",
                                       "600",
                                       "400",
                                       "sleep",
                                       "0.2"}));
        const auto After = Desktop().Geometry(Program->Window);
        ASSERT_TRUE(After);
        EXPECT_EQ(After->topLeft(), Before->topLeft() + (Case.Moves ? Drag : QPoint()));
        EXPECT_EQ(After->size(), Before->size());
    }
    EXPECT_TRUE(Program->Process->Running()) << "no press may have clicked the exit button";
}

TEST_F(VexloWindow, ASecondCopyRestoresTheFirstAndEndsHavingWrittenItsHostList) {
    TProgramCopy First;
    const auto Program = Launch(First);
    ASSERT_TRUE(Program);
    ASSERT_TRUE(Desktop().Xdotool({"windowunmap", "--sync", std::to_string(Program->Window)}));
    ASSERT_FALSE(Desktop().Viewable(Program->Window));

    // Another folder, the same program name: the title is the key, not the folder.
    TProgramCopy Second;
    const auto Copy = Second.Start(Session->Server(), TNetwork{});
    EXPECT_EQ(Copy->Wait(5s), 0) << Copy->Output();

    EXPECT_TRUE(Desktop().Viewable(Program->Window));
    EXPECT_EQ(Desktop().FocusedWindow(), Program->Window);
    EXPECT_EQ(ReadBytes(Second.HostListPath()), DefaultHostList);
    EXPECT_TRUE(Program->Process->Running());
    EXPECT_FALSE(std::filesystem::exists(First.HostListPath()))
        << "the first copy stores its list only when it ends";
}

TEST_F(VexloWindow, EscInTheEditBoxEndsTheProgramAndWritesTheHostList) {
    struct TCase {
        const char* What;
        std::optional<std::string> Before;
        std::string After;
        rlim_t SizeLimit = RLIM_INFINITY; // on the program's files, as ulimit -f sets it
    };
    const TCase Cases[] = {
        {"no host list yet", std::nullopt, DefaultHostList},
        {"a host list of two", "127.0.0.2=Second\r\n127.0.0.1=Localhost\r\n",
         "127.0.0.2=Second\r\n127.0.0.1=Localhost\r\n"},
        // Written with CR LF, the list outgrows the limit: the save fails and says so.
        {"a file-size limit below the list's size", "127.0.0.2=Second\n127.0.0.1=Localhost\n",
         "127.0.0.2=Second\n127.0.0.1=Localhost\n", 16},
    };
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.What);
        TProgramCopy Copy;
        if (Case.Before) {
            WriteBytes(Copy.HostListPath(), *Case.Before);
        }
        const auto Program = Launch(Copy);
        ASSERT_TRUE(Program);
        const rlimit Limit{Case.SizeLimit, Case.SizeLimit};
        ASSERT_EQ(::prlimit(Program->Process->Pid(), RLIMIT_FSIZE, &Limit, nullptr), 0);
        ASSERT_TRUE(Desktop().Key("Escape"));
        if (Case.SizeLimit != RLIM_INFINITY) {
            // The error box, once the window has gone: the program did not die of SIGXFSZ.
            std::optional<unsigned long> Box;
            for (int Try = 0; Try < 50 && (!Box || *Box == Program->Window); ++Try) {
                Box = Desktop().FindWindow("Vexlo", 100ms);
            }
            ASSERT_TRUE(Box && *Box != Program->Window)
                << "no error box; ended with " << Program->Process->Wait(1s).value_or(-1);
            EXPECT_TRUE(Program->Process->Running());
            ASSERT_TRUE(Desktop().Key("Return"));
        }
        EXPECT_EQ(Program->Process->Wait(5s), 0);
        EXPECT_EQ(ReadBytes(Copy.HostListPath()), Case.After);
    }
}

TEST_F(VexloWindow, EscInTheUnfoldedGridLeavesTheProgramRunning) {
    TProgramCopy Copy;
    const auto Program = Launch(Copy);
    ASSERT_TRUE(Program);
    auto Height = [&] {
        const auto Frame = Desktop().Geometry(Program->Window);
        return Frame ? Frame->height() : -1;
    };
    ASSERT_TRUE(Desktop().Chord("ctrl", "e"));
    std::this_thread::sleep_for(300ms);
    ASSERT_EQ(Height(), 240) << "Ctrl+E unfolds and gives the grid the focus";

    ASSERT_TRUE(Desktop().Key("Escape"));
    EXPECT_FALSE(Program->Process->Wait(1s)) << "Esc outside the edit box closes nothing";

    ASSERT_TRUE(Desktop().Chord("ctrl", "e"));
    std::this_thread::sleep_for(300ms);
    ASSERT_EQ(Height(), 60) << "Ctrl+E folds and gives the edit box the focus";
    ASSERT_TRUE(Desktop().Key("Escape"));
    EXPECT_EQ(Program->Process->Wait(5s), 0);
}

TEST_F(VexloWindow, AtEachScaleTheWindowTakesThePicturesShapeAndItsPixelsUnsmoothed) {
    struct TCase {
        int Scale;
    };
    const QImage Picture = BackgroundPicture();
    ASSERT_EQ(Picture.size(), QSize(210, 90));
    // Text is drawn at the screen's density; everything else is the picture, or the status
    // picture, grown pixel by pixel.
    const QRect Text[] = {EditBox, StatusLineBox, HelpLabelBox};
    for (const TCase Case : {TCase{1}, TCase{2}}) {
        SCOPED_TRACE("scale " + std::to_string(Case.Scale));
        TProgramCopy Copy;
        const auto Program = Launch(Copy, {"QT_SCALE_FACTOR=" + std::to_string(Case.Scale)});
        ASSERT_TRUE(Program);
        const int S = Case.Scale;
        EXPECT_EQ(Program->Frame, QRect(7 * S, 7 * S, 210 * S, 60 * S));
        const QImage Screen = Desktop().Screenshot();

        int Wrong = 0;
        std::string First;
        for (int Y = 0; Y < 60; ++Y) {
            for (int X = 0; X < 210; ++X) {
                const QPoint P(X, Y);
                if (std::any_of(std::begin(Text), std::end(Text),
                                [&](const QRect& ABox) { return ABox.contains(P); })) {
                    continue;
                }
                const QRgb Art = Picture.pixel(P) & RGB_MASK;
                const bool SeeThrough = Art == (Purple & RGB_MASK);
                const bool Drawn = !StatusPictureBox.contains(P);
                const QPoint Block = Program->Frame.topLeft() + P * S;
                const QRgb Shown = Screen.pixel(Block) & RGB_MASK;
                bool Right = !SeeThrough || Shown == (TBackdrop::Colour & RGB_MASK);
                Right = Right && (SeeThrough || !Drawn || Shown == Art);
                for (int I = 0; I < S * S; ++I) {
                    Right =
                        Right && (Screen.pixel(Block + QPoint(I % S, I / S)) & RGB_MASK) == Shown;
                }
                if (!Right && Wrong++ == 0) {
                    First = "(" + std::to_string(X) + "," + std::to_string(Y) + ") shows " +
                            QColor(Shown).name().toStdString() + ", the picture " +
                            QColor(Art).name().toStdString();
                }
            }
        }
        if (Wrong != 0) {
            ADD_FAILURE() << Wrong << " pixels wrong, first " << First << "; see "
                          << SaveArtifact(Screen, Artifacts(),
                                          "scale" + std::to_string(S) + ".png");
        }
    }
}

TEST_F(VexloWindow, AtEveryDensityFromOneToTwoNoSeeThroughPixelIsDrawnFoldedOrUnfolded) {
    // The window unfolded at a density of 2, at its place, wants more than the usual screen.
    Session = std::make_unique<TSession>(QSize(800, 600));
    ASSERT_EQ(Session->Error(), "");
    // The quarter steps place the grid's corner between two device pixels.
    for (const double Scale : {1.0, 1.25, 1.5, 1.75, 2.0}) {
        const std::string Factor = QString::number(Scale).toStdString();
        SCOPED_TRACE("scale " + Factor);
        TProgramCopy Copy;
        const auto Program = Launch(Copy, {"QT_SCALE_FACTOR=" + Factor});
        ASSERT_TRUE(Program);
        for (const int Height : {60, 240}) {
            if (Height == 240) {
                ASSERT_TRUE(Desktop().Chord("ctrl", "e"));
            }
            // Purple pixels inside the window, and pixels of the grid's frame that are not
            // black: the frame lies on the grid's outermost device pixels, each side whole.
            int Shown = 0;
            int Unframed = 0;
            QImage Screen;
            const auto Deadline = TSession::Clock::now() + 3s;
            do {
                std::this_thread::sleep_for(200ms);
                const auto Frame = Desktop().Geometry(Program->Window);
                ASSERT_TRUE(Frame);
                if (Frame->height() != qRound(Height * Scale)) {
                    continue;
                }
                Screen = Desktop().Screenshot();
                Shown = CountColour(Screen, *Frame, Purple);
                Unframed = 0;
                if (Height == 240) {
                    const QPoint At = Frame->topLeft();
                    const QRect Grid(At + QPoint(qRound(2 * Scale), qRound(90 * Scale)),
                                     At + QPoint(qRound(208 * Scale) - 1, qRound(238 * Scale) - 1));
                    for (const QRect Side : {QRect(Grid.topLeft(), QSize(Grid.width(), 1)),
                                             QRect(Grid.bottomLeft(), QSize(Grid.width(), 1)),
                                             QRect(Grid.topLeft(), QSize(1, Grid.height())),
                                             QRect(Grid.topRight(), QSize(1, Grid.height()))}) {
                        Unframed += Side.width() * Side.height() - CountColour(Screen, Side, Black);
                    }
                }
            } while ((Screen.isNull() || Shown != 0 || Unframed != 0) &&
                     TSession::Clock::now() < Deadline);
            ASSERT_FALSE(Screen.isNull()) << "the window never became " << Height << " high";
            if (Shown != 0 || Unframed != 0) {
                ADD_FAILURE() << Shown << " purple pixels in the window " << Height << " high, "
                              << Unframed << " missing from the grid's frame; see "
                              << SaveArtifact(Screen, Artifacts(),
                                              "scale" + Factor + "-" + std::to_string(Height) +
                                                  ".png");
            }
        }
    }
}

TEST_F(VexloWindow, AHeldKeyActsOnceWhenReleased) {
    TProgramCopy Copy;
    const auto Program = Launch(Copy);
    ASSERT_TRUE(Program);
    const pid_t Pid = Program->Process->Pid();
    auto Height = [&] { return Desktop().Geometry(Program->Window).value_or(QRect()).height(); };
    // The toolkit takes the server's repeat releases for real ones when they arrive apart, as
    // on a busy machine: a core kept busy meanwhile.
    std::atomic<bool> Busy = true;
    std::thread Load([&] {
        while (Busy) {
        }
    });
    EXPECT_TRUE(Desktop().Xdotool({"keydown", "Return", "sleep", "2"}));
    EXPECT_EQ(EchoRequestsSent(Pid), 0) << "while Enter is held";
    EXPECT_TRUE(Desktop().Xdotool({"keyup", "Return", "sleep", "1"}));
    EXPECT_EQ(EchoRequestsSent(Pid), 1);
    EXPECT_TRUE(Desktop().Xdotool({"keydown", "ctrl", "keydown", "e"}));
    for (int I = 0; I < 20; ++I) {
        EXPECT_EQ(Height(), 60) << "while Ctrl+E is held";
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_TRUE(Desktop().Xdotool({"keyup", "e", "keyup", "ctrl", "sleep", "0.5"}));
    EXPECT_EQ(Height(), 240);
    Busy = false;
    Load.join();
}

TEST_F(VexloWindow, QtsOwnOptionsChangeNeitherTitleNorPlaceNorPlatform) {
    TProgramCopy Copy;
    const auto Program =
        Launch(Copy, {}, {"-title", "Other", "-geometry", "+300+200", "-platform", "offscreen"});
    ASSERT_TRUE(Program) << "a window titled Vexlo on this display";
    EXPECT_EQ(Program->Frame.topLeft(), QPoint(7, 7));
    EXPECT_FALSE(Desktop().FindWindow("Other", 0ms));
}

TEST_F(VexloWindow, AtScaleTwoTheStatusAndEditTextsAreTwiceAsTallAndWide) {
    QSizeF Ink[2][2];
    for (const int Scale : {1, 2}) {
        TProgramCopy Copy;
        const auto Program = Launch(Copy, {"QT_SCALE_FACTOR=" + std::to_string(Scale)});
        ASSERT_TRUE(Program);
        // Unfolding takes the focus from the edit box, and with it the selection and caret.
        ASSERT_TRUE(Desktop().Chord("ctrl", "e"));
        std::this_thread::sleep_for(300ms);
        const QImage Screen = Desktop().Screenshot();
        for (const QRect Box : {StatusLineBox, EditBox}) {
            const QPoint At = Program->Frame.topLeft() + Box.topLeft() * Scale;
            Ink[Box == EditBox][Scale - 1] = InkBox(Screen, QRect(At, Box.size() * Scale)).size();
        }
    }
    for (const auto& [One, Two] : Ink) {
        EXPECT_NEAR(Two.width() / One.width(), 2, 0.3);
        EXPECT_NEAR(Two.height() / One.height(), 2, 0.3);
    }
}

TEST_F(VexloWindow, WithoutWinesFontsTheWidestTimeOutAndHelpShowWhole) {
    const THiddenFolder Fonts("/usr/share/wine/fonts");
    ASSERT_EQ(Fonts.Error(), "");
    // A namespace of the test's own whose default route ends at a neighbour that is not there.
    const std::string Lab = "vexlo-e2e-" + std::to_string(getpid());
    const std::unique_ptr<const std::string, void (*)(const std::string*)> Removed(
        &Lab, [](const std::string* AName) {
            ::Run({"ip", "netns", "del", *AName}, {});
        });
    ASSERT_EQ(::Run({"sh", "-ec",
                     "ip netns add $0; ip -n $0 link set lo up; ip -n $0 link add d0 up type "
                     "veth peer name d1; ip -n $0 link set d1 up; ip -n $0 address add "
                     "10.255.255.1/30 dev d0; ip -n $0 neighbour add 10.255.255.2 lladdr "
                     "02:00:00:00:00:02 dev d0; ip -n $0 route add default via 10.255.255.2",
                     Lab},
                    {})
                  .Code,
              0);
    TProgramCopy Copy;
    const auto Program = Launch(Copy, {}, {}, TNetwork{"/run/netns/" + Lab});
    ASSERT_TRUE(Program);
    const std::string TimedOut = "Timed out (192.168.255.254)";
    ASSERT_TRUE(Desktop().Type("192.168.255.254") && Desktop().Key("Return"));
    const QPoint Origin = Program->Frame.topLeft();
    ASSERT_EQ(Session->WaitForStatus(Origin, TimedOut, Red, TSession::Clock::now(), 4s, Artifacts())
                  .Failure,
              "");
    const QImage Screen = Desktop().Screenshot();
    for (const bool Help : {false, true}) {
        std::string Error;
        // The same text where it has room to spare: its end must show in the window too.
        const QImage Spare = RenderStatusLine(Session->Server(), Help ? "Help" : TimedOut,
                                              Help ? Blue : Red, Error, 400, Help);
        const QImage Shown = Screen.copy((Help ? HelpLabelBox : StatusLineBox).translated(Origin));
        EXPECT_EQ(EndOfInk(Shown), EndOfInk(Spare)) << (Help ? "Help" : TimedOut) << Error;
    }
}

} // namespace
