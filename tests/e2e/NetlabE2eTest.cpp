// The real program inside the netlab's client namespace (tests/netlab/lab.sh), where a host
// stays silent and a router rejects: what the window shows for each, and when.
#include "tests/e2e/E2eSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace e2e;
using namespace std::chrono_literals;

const std::string LabScript = std::string(VEXLO_NETLAB_DIR) + "/lab.sh";
const char* const ClientNamespace = "/run/netns/vxl-cli";
// Addresses of the lab (lab.sh draws the map).
const std::string QuietHost = "203.0.113.6";
const std::string RejectedHost = "203.0.113.66";

class VexloInTheLab : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        FSkip = MissingPrerequisite({"ip", "nft", "bash"});
        if (!FSkip.empty()) {
            return;
        }
        // The netlab tests' own lock: one lab at a time, whichever tree runs it.
        const std::string LockPath = std::filesystem::is_directory("/run/lock")
                                         ? "/run/lock/vexlo-netlab.lock"
                                         : "/tmp/vexlo-netlab.lock";
        FLock = open(LockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        bool Locked = false;
        for (int I = 0; FLock >= 0 && I < 600 && !Locked; ++I) {
            Locked = flock(FLock, LOCK_EX | LOCK_NB) == 0;
            if (!Locked) {
                std::this_thread::sleep_for(100ms);
            }
        }
        if (!Locked) {
            FLabError = "could not lock " + LockPath + " within 60 s";
            return;
        }
        // The lab the fixture built for the whole run when there is one; else one of its own.
        if (Lab("status").Code != 0) {
            FLabTried = true;
            const TRunResult Up = Lab("up");
            FLabError = Up.Code == 0 ? "" : "lab.sh up failed: " + Up.Output;
        }
    }

    static void TearDownTestSuite() {
        if (FLabTried) {
            const TRunResult Down = Lab("down");
            EXPECT_EQ(Down.Code, 0) << Down.Output;
        }
        if (FLock >= 0) {
            close(FLock);
            FLock = -1;
        }
        FLabTried = false;
    }

    static TRunResult Lab(const std::string& AVerb) {
        return e2e::Run({"bash", LabScript, AVerb}, {"VXL_LAB_LOCK_HELD=1"}, 30s);
    }

    void SetUp() override {
        if (!FSkip.empty()) {
            GTEST_SKIP() << FSkip;
        }
        ASSERT_EQ(FLabError, "");
    }

    static inline std::string FSkip;
    static inline std::string FLabError;
    static inline bool FLabTried = false;
    static inline int FLock = -1;
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

} // namespace
