// The real program inside the netlab's client namespace (tests/netlab/lab.sh), where a host
// stays silent and a router rejects: what the window shows for each, and when.
#include "tests/e2e/E2eExpect.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/support/BuildPaths.h"
#include "tests/support/NetLab.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

namespace {

using namespace e2e;
using namespace std::chrono_literals;

const char* const ClientNamespace = "/run/netns/vxl-cli";
// Addresses of the lab (lab.sh draws the map).
const std::string QuietHost = "203.0.113.6";
const std::string RejectedHost = "203.0.113.66";
const std::string LiveHost = "203.0.113.2";
const std::string LiveHost6 = "fd76:0:0:11::2";
// The live host's address in a global prefix, all eight groups of it: as long as the address
// of a host on the Internet gets.
const std::string LongHost6 = "2001:db8:5678:7631:7665:786c:6162:6c76";

class VexloInTheLab : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        FSkip = MissingPrerequisite({"ip", "nft", "bash"});
        if (FSkip.empty()) {
            FLabError = FLab.Acquire();
        }
    }

    static void TearDownTestSuite() {
        const TRunResult Down = FLab.Release();
        EXPECT_EQ(Down.Code, 0) << Down.Output;
    }

    static TRunResult Lab(const std::string& AVerb, const std::string& AArgument = {}) {
        return FLab.Run(AVerb, AArgument);
    }

    void SetUp() override {
        if (!FSkip.empty()) {
            GTEST_SKIP() << FSkip;
        }
        ASSERT_EQ(FLabError, "");
    }

    static std::string ArtifactsOfThisTest() {
        return ArtifactsFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }

    static inline TNetLab FLab{std::string(buildpaths::NetlabDir) + "/lab.sh"};
    static inline std::string FSkip;
    static inline std::string FLabError;
};

TEST_F(VexloInTheLab, SilenceAndRejectionShowTheirTextsInRedWithTheFailurePicture) {
    struct TCase {
        const char* What;
        std::string Address;
        std::string Status;
        std::chrono::milliseconds AtLeast;
        std::chrono::milliseconds AtMost;
    };
    // The window waits one second for an answer; a rejection answers at once.
    const TCase Cases[] = {
        {"a host that stays silent", QuietHost, "Timed out (" + QuietHost + ")", 900ms, 2500ms},
        {"a router that rejects", RejectedHost, "An error has occurred", 0ms, 900ms},
    };
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.What);
        TSession Session;
        ASSERT_EQ(Session.Error(), "");
        TProgramCopy Copy;
        std::string Error;
        const auto Program = Session.Launch(Copy, TNetwork{ClientNamespace}, Error);
        ASSERT_TRUE(Program) << Error;
        const QPoint Origin = Program->Frame.topLeft();

        ASSERT_TRUE(Session.Desktop().Type(Case.Address));
        const auto Pressed = TSession::Clock::now();
        ASSERT_TRUE(Session.Desktop().Key("Return"));
        const auto Seen = Session.WaitForStatus(
            Origin, Case.Status, Red, Pressed, 6s,
            ArtifactsFolder(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        ASSERT_EQ(Seen.Failure, "");
        EXPECT_GE(Seen.After, Case.AtLeast);
        EXPECT_LE(Seen.After, Case.AtMost);

        const QImage Screen = Session.Desktop().Screenshot();
        const QRect Picture = StatusPictureBox.translated(Origin);
        EXPECT_GE(CountColour(Screen, Picture, Red), 20) << "the failure picture's red disc";
        EXPECT_EQ(CountColour(Screen, Picture, DarkGreen), 0);
    }
}

// The user and effective capability sets of a running process, as its status file shows them.
std::string CapabilitiesOf(pid_t APid) {
    std::ifstream Status("/proc/" + std::to_string(APid) + "/status");
    std::string Found;
    for (std::string Line; std::getline(Status, Line);) {
        if (Line.rfind("CapPrm:", 0) == 0 || Line.rfind("CapEff:", 0) == 0) {
            Found += (Found.empty() ? "" : " ") + Line.substr(0, 7) + " " +
                     Line.substr(Line.find_first_not_of(" \t", 7));
        }
    }
    return Found;
}

// nobody, without any capability, pings through the ICMP datagram socket where the client
// namespace's ping_group_range admits nobody's group; with the range closed it may not ping.
TEST_F(VexloInTheLab, AsNobodyWithoutCapabilityThePingSocketAnswersWhereTheRangeAdmitsIt) {
    const TUser User = Nobody();
    struct TCase {
        const char* What;
        std::string Range;
        std::string Status;
        QRgb Colour;
        int Picture; // 1: the reply's green arrow; 0: neither arrow nor red disc
    };
    const TCase Cases[] = {
        {"the range admits nobody's group",
         std::to_string(User.Gid) + " " + std::to_string(User.Gid), "Reply from 127.0.0.1",
         DarkGreen, 1},
        {"the range admits no group", "1 0", "Cannot allocate socket.", Red, 0},
    };
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.What);
        const TRunResult Range = Lab("ping-group", Case.Range);
        ASSERT_EQ(Range.Code, 0) << Range.Output;
        TSession Session;
        ASSERT_EQ(Session.Error(), "");
        TProgramCopy Copy;
        Copy.HandTo(User);
        std::string Error;
        const auto Program = Session.Launch(Copy, TNetwork{ClientNamespace}, Error,
                                            {"HOME=" + Copy.Folder().string()}, User);
        ASSERT_TRUE(Program) << Error;
        EXPECT_EQ(CapabilitiesOf(Program->Process->Pid()),
                  "CapPrm: 0000000000000000 CapEff: 0000000000000000");
        const QPoint Origin = Program->Frame.topLeft();

        ASSERT_TRUE(Session.Desktop().Type("LOCALHOST"));
        const auto Pressed = TSession::Clock::now();
        ASSERT_TRUE(Session.Desktop().Key("Return"));
        const auto Seen = Session.WaitForStatus(
            Origin, Case.Status, Case.Colour, Pressed, 5s,
            ArtifactsFolder(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        ASSERT_EQ(Seen.Failure, "") << Program->Process->Output();

        const QImage Screen = Session.Desktop().Screenshot();
        ExpectStatusPicture(Screen, Origin, Case.Picture);
    }
}

// Each way of naming an IPv6 host reaches it; a name with addresses of both families pings its
// IPv4 one, as every name did before IPv6. The names come from the hosts file, covered for the
// programs this test starts.
TEST_F(VexloInTheLab, EachWayOfNamingAHostPingsTheAddressOfItsFamily) {
    const TCoveredFile Hosts("/etc/hosts",
                             "127.0.0.1 localhost\n" + LiveHost6 + " six.vexlo.test\n" + LiveHost6 +
                                 " both.vexlo.test\n" + LiveHost + " both.vexlo.test\n");
    ASSERT_EQ(Hosts.Error(), "");
    struct TCase {
        const char* What;
        std::string HostList;
        std::string Typed;
        std::string Address;
    };
    const TCase Cases[] = {
        {"a name with A and AAAA records", "", "both.vexlo.test", LiveHost},
        {"the IPv6 loopback", "", "::1", "::1"},
        {"an IPv6 literal", "", LiveHost6, LiveHost6},
        {"a bracketed literal", "", "[" + LiveHost6 + "]", LiveHost6},
        {"a host list entry", LiveHost6 + "=Live six\r\n", "Live six", LiveHost6},
        {"a name with only an AAAA record", "", "six.vexlo.test", LiveHost6},
    };
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.What);
        TSession Session;
        ASSERT_EQ(Session.Error(), "");
        TProgramCopy Copy;
        if (!Case.HostList.empty()) {
            WriteBytes(Copy.HostListPath(), Case.HostList);
        }
        std::string Error;
        const auto Program = Session.Launch(Copy, TNetwork{ClientNamespace}, Error);
        ASSERT_TRUE(Program) << Error;
        const QPoint Origin = Program->Frame.topLeft();

        ASSERT_TRUE(Session.Desktop().Type(Case.Typed));
        const auto Pressed = TSession::Clock::now();
        ASSERT_TRUE(Session.Desktop().Key("Return"));
        const auto Seen = Session.WaitForStatus(Origin, "Reply from " + Case.Address, DarkGreen,
                                                Pressed, 5s, ArtifactsOfThisTest());
        ASSERT_EQ(Seen.Failure, "") << Program->Process->Output();
        const QImage Screen = Session.Desktop().Screenshot();
        ExpectStatusPicture(Screen, Origin, 1);
        if (Case.Typed == "::1") {
            SaveArtifact(Screen, ArtifactsOfThisTest(), "reply-from-ipv6-loopback.png");
        }
    }
}

// Too long for the status line, the address is shortened in its middle: the line then starts
// as the whole text does and ends with the address's last group, whole, inside the box.
TEST_F(VexloInTheLab, ALongAddressRepliesAndItsShortenedTextStaysInsideTheBox) {
    TSession Session;
    ASSERT_EQ(Session.Error(), "");
    TProgramCopy Copy;
    std::string Error;
    const auto Program = Session.Launch(Copy, TNetwork{ClientNamespace}, Error);
    ASSERT_TRUE(Program) << Error;
    const QPoint Origin = Program->Frame.topLeft();
    ASSERT_TRUE(Session.Desktop().Type(LongHost6));
    ASSERT_TRUE(Session.Desktop().Key("Return"));
    QImage Screen;
    const QRect Picture = StatusPictureBox.translated(Origin);
    for (const auto Until = TSession::Clock::now() + 5s;
         CountColour(Screen, Picture, DarkGreen) < 8 && TSession::Clock::now() < Until;) {
        std::this_thread::sleep_for(50ms);
        Screen = Session.Desktop().Screenshot();
    }
    SaveArtifact(Screen, ArtifactsOfThisTest(), "reply-from-long-address.png");
    ExpectStatusPicture(Screen, Origin, 1);

    const std::string Whole = "Reply from " + LongHost6;
    const QImage Spare = RenderStatusLine(Session.Server(), Whole, DarkGreen, Error, 400);
    ASSERT_EQ(Error, "");
    const QImage Shown = Screen.copy(StatusLineBox.translated(Origin));
    EXPECT_GT(CountColour(Shown, Shown.rect(), DarkGreen), 100) << "the reply's green text";
    EXPECT_EQ(EndOfInk(Shown), EndOfInk(Spare)) << "the last group, whole";
    const QImage Clipped = RenderStatusLine(Session.Server(), Whole, DarkGreen, Error);
    EXPECT_NE(CompareArea(Screen, Origin + StatusLineBox.topLeft(), Clipped), "")
        << "the whole text, cut off by the box";
    // The start as the whole text has it, up to the glyph before the first place it may differ.
    const QImage Start =
        RenderStatusLine(Session.Server(), "Reply from 2001:db8", DarkGreen, Error, 400);
    ASSERT_EQ(Error, "");
    const QImage Leading =
        Start.copy(0, 0, InkBox(Start, Start.rect()).right() - 1, Start.height());
    EXPECT_EQ(CompareArea(Screen, Origin + StatusLineBox.topLeft(), Leading), "");
}

} // namespace
