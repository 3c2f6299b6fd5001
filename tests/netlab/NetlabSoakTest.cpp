// The client under load: ten thousand exchanges with a lab host while another floods the
// client with look-alike echo replies, and exchanges that time out among them.
#include "tests/netlab/NetlabHarness.h"

#include "net/IdException.h"
#include "net/IdGlobal.h"
#include "net/IdIcmpClient.h"
#include "net/IdStackWindows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace netlab;
using namespace std::chrono_literals;

// The soak's exchanges use this many sequence numbers in turn, and the noise carries each
// of them: a client that matched on the sequence alone would take noise for replies.
constexpr int SoakWindow = 8;
constexpr int NoiseRate = 1000;

// The real stack, counting what the client reads: every datagram past the replies taken
// is noise it had to reject.
class TCountingStack : public TIdStackWindows {
  public:
    static inline int Reads = 0;
    int ApiRecv(TIdStackSocketHandle ASocket, void* ABuffer, int ALength, int AFlags) override {
        ++Reads;
        return TIdStackWindows::ApiRecv(ASocket, ABuffer, ALength, AFlags);
    }
};

int OpenDescriptors() {
    int Count = 0;
    for ([[maybe_unused]] const auto& Entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++Count;
    }
    return Count;
}

long ResidentKiB() {
    std::ifstream Status("/proc/self/status");
    for (std::string Line; std::getline(Status, Line);) {
        if (Line.rfind("VmRSS:", 0) == 0) {
            return std::stol(Line.substr(6));
        }
    }
    return -1;
}

struct TSoakTally {
    int Taken = 0;
    int False = 0;  // a status that is not the host's reply to this very request
    int Missed = 0; // time-outs while the host answers
    int Exceptions = 0;
    std::vector<int> TimedOut; // every exchange that timed out, by number
    std::vector<uint32_t> TimedOutRoundTrip;
    std::vector<long long> TimedOutWaitMs;
    std::string FirstFault;
    int Reads = 0;
    long NoiseArrived = 0;
    double Seconds = 0;
    int DescriptorsBefore = 0, DescriptorsAfter = 0;
    long ResidentBefore = 0, ResidentAfter = 0;
};

class NetlabSoakTest : public NetlabTest {
  protected:
    void TearDown() override {
        RegisteredStackClass = FSavedStackClass;
        if (FLabUp) {
            SetSilent(false);
        }
    }

    static void SetSilent(bool AOn) {
        std::string Output;
        ASSERT_EQ(RunLab("silence", Output, AOn ? "on" : "off"), 0) << Output;
    }

    static long NoiseCount() {
        std::string Output;
        EXPECT_EQ(RunLab("noise-count", Output), 0) << Output;
        return std::atol(Output.c_str());
    }

    // The noise host's flood at the client, shaped for exchanges numbered from AFirst.
    static std::unique_ptr<TProcess> StartFlood(uint16_t AFirst) {
        const uint16_t Ours = static_cast<uint16_t>(IdProcessId());
        return StartTool("noise",
                         {"flood", Map().ClientAddress, std::to_string(Ours),
                          std::to_string(AFirst), std::to_string(SoakWindow),
                          std::to_string(NoiseRate)},
                         90);
    }

    // The flood's own summary once it has stopped: "sent N other-id N ...".
    static std::string StopFlood(TProcess& AFlood) {
        EXPECT_EQ(AFlood.Terminate(5s).value_or(-1), 0);
        std::string Summary = AFlood.ReadLine(1s);
        EXPECT_EQ(Summary.rfind("sent ", 0), 0u) << Summary << AFlood.Output();
        return Summary;
    }

    // ACount exchanges from one client with the craft host, whose responder holds each reply
    // back for a millisecond: the kernel's own echo is back before the noise gets a chance,
    // and a host a little way off leaves the client waiting, its socket open to the noise.
    // Every ASilentEvery-th exchange (0: none) finds the host silenced.
    TSoakTally Soak(int ACount, uint16_t AFirst, int ASilentEvery) {
        TSoakTally T;
        auto Host = StartTool("craft", {"respond", "held-echo", "1"}, 90);
        if (!Host) {
            ADD_FAILURE() << "no responder on the craft host";
            return T;
        }
        EXPECT_EQ(StackUserCount, 0);
        FSavedStackClass = RegisteredStackClass;
        RegisteredStackClass = [] { return std::unique_ptr<TIdStack>(new TCountingStack); };
        TCountingStack::Reads = 0;
        const long NoiseBefore = NoiseCount();
        const auto Start = std::chrono::steady_clock::now();
        {
            TIdIcmpClient Client;
            Client.SetHost(Map().CraftHost);
            Client.SetReceiveTimeout(1000);
            // Raw: this thread in the client namespace. Datagram: every exchange on a thread
            // of nobody's there, while this one silences the host as root.
            std::unique_ptr<TNamespaceScope> Scope;
            std::unique_ptr<TUserThread> User;
            if (FMode == TMode::Raw) {
                Scope = std::make_unique<TNamespaceScope>(ClientNamespace);
            } else {
                User = std::make_unique<TUserThread>(ClientNamespace);
            }
            const std::string Error = Scope ? Scope->Error() : User->Error();
            EXPECT_EQ(Error, "");
            const auto Exchange = [&](const std::function<void()>& AWork) {
                if (User) {
                    User->Run(AWork);
                } else {
                    AWork();
                }
            };
            T.DescriptorsBefore = OpenDescriptors();
            T.ResidentBefore = ResidentKiB();
            for (int I = 0; I < ACount && Error.empty(); ++I) {
                const auto Sequence = static_cast<uint16_t>(AFirst + I % SoakWindow);
                const bool Silent = ASilentEvery > 0 && I % ASilentEvery == ASilentEvery - 1;
                if (Silent) {
                    SetSilent(true);
                }
                const auto Sent = std::chrono::steady_clock::now();
                try {
                    Exchange([&] { Client.PingOnce("  ", Sequence); });
                    const TReplyStatus& S = Client.LastStatus();
                    const long long WaitMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                                 std::chrono::steady_clock::now() - Sent)
                                                 .count();
                    if (S.Kind == rkTimedOut) {
                        T.TimedOut.push_back(I);
                        T.TimedOutRoundTrip.push_back(S.RoundTripMs);
                        T.TimedOutWaitMs.push_back(WaitMs);
                        T.Missed += Silent ? 0 : 1;
                    } else if (!Silent && S.Kind == rkEchoReply &&
                               S.IcmpType == Map().EchoReplyType &&
                               S.SourceAddress == Map().CraftHost && S.Sequence == Sequence) {
                        ++T.Taken;
                    } else {
                        ++T.False;
                        if (T.FirstFault.empty()) {
                            T.FirstFault = "exchange " + std::to_string(I) + " took kind " +
                                           std::to_string(S.Kind) + " type " +
                                           std::to_string(S.IcmpType) + " from " + S.SourceAddress +
                                           " sequence " + std::to_string(S.Sequence);
                        }
                    }
                } catch (const Exception& E) {
                    ++T.Exceptions;
                    if (T.FirstFault.empty()) {
                        T.FirstFault = "exchange " + std::to_string(I) + ": " + E.Message();
                    }
                }
                if (Silent) {
                    SetSilent(false);
                }
            }
            T.DescriptorsAfter = OpenDescriptors();
            T.ResidentAfter = ResidentKiB();
        }
        T.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
        T.NoiseArrived = NoiseCount() - NoiseBefore;
        T.Reads = TCountingStack::Reads;
        RegisteredStackClass = FSavedStackClass;
        return T;
    }

    static void Print(const char* AName, const TSoakTally& T, const std::string& AFlood) {
        std::printf("%s: %.1f s; replies taken %d, false replies %d, missed replies %d, "
                    "exceptions %d, timed out %zu\n"
                    "  noise reaching the client %ld (%.0f a second), read and rejected by it "
                    "%d; flood %s\n"
                    "  descriptors %d -> %d, resident memory %ld KiB -> %ld KiB\n",
                    AName, T.Seconds, T.Taken, T.False, T.Missed, T.Exceptions, T.TimedOut.size(),
                    T.NoiseArrived, T.NoiseArrived / T.Seconds, T.Reads - T.Taken, AFlood.c_str(),
                    T.DescriptorsBefore, T.DescriptorsAfter, T.ResidentBefore, T.ResidentAfter);
        if (!T.FirstFault.empty()) {
            std::printf("  first fault: %s\n", T.FirstFault.c_str());
        }
    }

    TIdStackClass FSavedStackClass = RegisteredStackClass;
};

TEST_P(NetlabSoakTest, TenThousandExchangesUnderNoiseTakeEveryReplyAndNoFalseOne) {
    auto Flood = StartFlood(20000);
    ASSERT_TRUE(Flood);
    const TSoakTally T = Soak(10000, 20000, 0);
    Print("soak", T, StopFlood(*Flood));
    EXPECT_EQ(T.Taken, 10000);
    EXPECT_EQ(T.False, 0) << T.FirstFault;
    EXPECT_EQ(T.Missed, 0);
    EXPECT_EQ(T.Exceptions, 0) << T.FirstFault;
    EXPECT_NEAR(T.NoiseArrived / T.Seconds, NoiseRate, NoiseRate / 5) << "not under noise";
    if (FMode == TMode::Helper) {
        EXPECT_EQ(T.Reads - T.Taken, 0) << "the helper handed on noise";
    } else {
        EXPECT_GT(T.Reads - T.Taken, 1000) << "the client saw too little of the noise";
    }
    EXPECT_EQ(T.DescriptorsAfter, T.DescriptorsBefore);
    EXPECT_LT(T.ResidentAfter - T.ResidentBefore, 256) << "KiB more after the soak";
}

TEST_P(NetlabSoakTest, EveryTenthExchangeSilencedTimesOutAfterOneSecondAndNoOther) {
    auto Flood = StartFlood(40000);
    ASSERT_TRUE(Flood);
    const TSoakTally T = Soak(200, 40000, 10);
    Print("soak, live host silent for every tenth exchange", T, StopFlood(*Flood));
    std::vector<int> Expected;
    for (int I = 9; I < 200; I += 10) {
        Expected.push_back(I);
    }
    EXPECT_EQ(T.TimedOut, Expected);
    EXPECT_EQ(T.Taken, 180);
    EXPECT_EQ(T.False, 0) << T.FirstFault;
    EXPECT_EQ(T.Exceptions, 0) << T.FirstFault;
    if (!T.TimedOut.empty()) {
        const auto [Shortest, Longest] =
            std::minmax_element(T.TimedOutWaitMs.begin(), T.TimedOutWaitMs.end());
        const auto [Least, Most] =
            std::minmax_element(T.TimedOutRoundTrip.begin(), T.TimedOutRoundTrip.end());
        std::printf("  time-outs: round trip %u..%u ms, waited %lld..%lld ms\n", *Least, *Most,
                    *Shortest, *Longest);
    }
    for (size_t I = 0; I < T.TimedOut.size(); ++I) {
        EXPECT_NEAR(T.TimedOutRoundTrip[I], 1000, 50) << "exchange " << T.TimedOut[I];
        EXPECT_NEAR(T.TimedOutWaitMs[I], 1000, 50) << "exchange " << T.TimedOut[I];
    }
}
INSTANTIATE_TEST_SUITE_P(Sockets, NetlabSoakTest, EveryFamilyAndMode(), LabName);

} // namespace
