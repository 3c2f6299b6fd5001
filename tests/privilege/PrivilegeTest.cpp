// The raw-socket privilege held narrowly, and a raised start's command line and environment.
#include "app/Privilege.h"
#include "app/posix/PrivilegePosix.h"
#include "app/posix/RawSocketHelper.h"
#include "net/EchoHelperProtocol.h"
#include "net/IdException.h"
#include "net/IdIcmpClient.h"
#include "net/IdPlatform.h"
#include "net/IdResourceStrings.h"
#include "net/IdWinSockTypes.h"
#include "tests/privilege/HelperProbe.h"
#include "tests/support/BuildPaths.h"
#include "tests/support/TempFolder.h"

#include <QByteArray>
#include <QtGlobal>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <string>
#include <sys/capability.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

TEST(SecureStart, ForgettingClearsTheVariablesThatNamePluginsAndNoOther) {
    for (const char* Name : Privilege::UnsafeEnvironment()) {
        qputenv(Name, "/tmp/planted");
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    Privilege::ForgetUserPluginChoices();
    for (const char* Name : Privilege::UnsafeEnvironment()) {
        EXPECT_FALSE(qEnvironmentVariableIsSet(Name)) << Name;
    }
    EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), "xcb"); // chooses among installed plugins only
}

// A network namespace of the child's own with only lo up: whatever address a request names,
// nothing leaves the machine.
bool PrivateLoopback() {
    if (::unshare(CLONE_NEWNET) != 0) {
        return false;
    }
    const int S = ::socket(AF_INET, SOCK_DGRAM, 0);
    ifreq Lo{};
    std::strcpy(Lo.ifr_name, "lo");
    const bool Up = ::ioctl(S, SIOCGIFFLAGS, &Lo) == 0 &&
                    (Lo.ifr_flags = static_cast<short>(Lo.ifr_flags | IFF_UP),
                     ::ioctl(S, SIOCSIFFLAGS, &Lo) == 0);
    ::close(S);
    return Up;
}

// Capabilities belong to the process, so each case runs in a child of its own: it takes the
// given ones, runs the body and reports what it then holds, through a pipe.
// With APrivateLoopback, the child first takes a network namespace of its own.
template <typename F>
std::string InChild(const char* AHeld, bool AAmbient, F ABody, bool APrivateLoopback = false) {
    int Pipe[2];
    if (::geteuid() != 0 || ::pipe(Pipe) != 0) {
        return "needs root";
    }
    if (::fork() == 0) {
        cap_t Caps = AHeld ? ::cap_from_text(AHeld) : ::cap_get_proc();
        std::string Seen = "cannot hold them";
        if (APrivateLoopback && !PrivateLoopback()) {
            Seen = "no namespace";
        } else if (::cap_set_proc(Caps) == 0 &&
                   (!AAmbient || ::cap_set_ambient(CAP_NET_RAW, CAP_SET) == 0)) {
            Seen = ABody();
            char* Text = ::cap_to_text(Caps = ::cap_get_proc(), nullptr);
            Seen += Text;
            // The text leaves out the ambient set; the one capability that matters is told.
            Seen += ::cap_get_ambient(CAP_NET_RAW) == 1 ? " ambient" : "";
        }
        ::_exit(::write(Pipe[1], Seen.data(), Seen.size()) < 0);
    }
    ::close(Pipe[1]);
    char Buffer[256];
    const auto N = ::read(Pipe[0], Buffer, sizeof Buffer);
    ::close(Pipe[0]);
    ::wait(nullptr);
    return std::string(Buffer, N > 0 ? static_cast<size_t>(N) : 0);
}

TEST(RawPrivilege, DropAtStartLeavesNothingAndGivesTheRawSocketOneToAHelper) {
    const struct {
        const char* Held; // null: all that root holds here
        bool Ambient;     // CAP_NET_RAW also ambient, so a started program would get it
        const char* Outcome;
    } Cases[] = {
        // Root also loses its bounding set, so no set-user-id program gives anything back.
        {nullptr, false, "helper bound 0 ="},
        {"cap_net_raw,cap_net_admin=eip", true, "helper ="},
        {"cap_net_raw=p", false, "helper ="},
        {"cap_net_admin,cap_sys_ptrace=ep", false, "="},
    };
    for (const auto& C : Cases) {
        const auto Seen = InChild(C.Held, C.Ambient, [] {
            Privilege::DropAtStart();
            std::string Seen = RawSocketHelper::Pid() != 0 ? "helper " : "";
            int Bound = 0;
            for (cap_value_t Cap = 0; Cap <= CAP_LAST_CAP; ++Cap) {
                Bound += ::cap_get_bound(Cap) == 1;
            }
            return Bound == 0 ? Seen + "bound 0 " : Seen;
        });
        if (Seen == "needs root") {
            GTEST_SKIP() << "changing capabilities needs root";
        }
        EXPECT_EQ(Seen, C.Outcome) << (C.Held ? C.Held : "root");
    }
}

// The rule that decides whether a start from the program file keeps the capability.
TEST(RawPrivilege, IsKeptOnlyWhereNobodyButRootCanWriteTheProgramOrAFolderAboveIt) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "folders that root owns need root";
    }
    // Under /tmp, which root owns with the sticky bit: allowed above the program's folder.
    const TTempFolder Folder("/tmp");
    const std::string Root = Folder.Path().string();
    const std::string Bin = Root + "/bin", Program = Bin + "/vexlo";
    ASSERT_EQ(::chmod(Root.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(Bin.c_str(), 0755), 0);
    std::ofstream(Program).put('x');
    ASSERT_EQ(::chmod(Program.c_str(), 0755), 0);
    ASSERT_EQ(::symlink(Program.c_str(), (Root + "/link").c_str()), 0);
    const struct {
        const char* Change; // done to the tree before the case, undone after it
        std::string Path, Reason;
    } Cases[] = {
        {"", Program, ""},
        {"bin g+w", Program, Bin + " is writable by its group"},
        {"bin o+w+t", Program, Bin + " is writable by every user"},
        {"bin nobody", Program, Bin + " belongs to user 65534, not root"},
        {"vexlo o+w", Program, Program + " is writable by every user"},
        {"", Root + "/link", Root + "/link is a symbolic link"},
        {"", Root + "/none", "cannot check " + Root + "/none: No such file or directory"},
        {"", "bin/vexlo", "cannot tell where the program lies"},
    };
    for (const auto& C : Cases) {
        const std::string Change = C.Change;
        const std::string Target = Change.starts_with("bin") ? Bin : Program;
        if (Change.ends_with("g+w")) {
            ::chmod(Target.c_str(), 0775);
        } else if (Change.ends_with("o+w+t")) {
            ::chmod(Target.c_str(), 01777);
        } else if (Change.ends_with("o+w")) {
            ::chmod(Target.c_str(), 0757);
        } else if (Change.ends_with("nobody")) {
            ASSERT_EQ(::chown(Target.c_str(), 65534, 65534), 0);
        }
        EXPECT_EQ(Privilege::UnsafeInstallReason(C.Path), C.Reason) << C.Change << " " << C.Path;
        ::chmod(Bin.c_str(), 0755);
        ::chmod(Program.c_str(), 0755);
        ASSERT_EQ(::chown(Bin.c_str(), 0, 0), 0);
    }
    // A program right in /tmp: the sticky bit keeps others from replacing it, not from
    // adding a plugin beside it.
    const std::string InTmp = Root + "-direct";
    std::ofstream(InTmp).put('x');
    ::chmod(InTmp.c_str(), 0755);
    EXPECT_EQ(Privilege::UnsafeInstallReason(InTmp), "/tmp is writable by every user");
    std::remove(InTmp.c_str());
}

EchoHelper::TRequest GoodRequest(uint32_t ATag) {
    EchoHelper::TRequest R;
    R.Tag = ATag;
    R.Family = 4;
    R.Ttl = 64;
    R.Length = 52;
    const uint8_t Loopback[4] = {127, 0, 0, 1};
    std::memcpy(R.Address, Loopback, 4);
    R.Echo[0] = 8;
    R.Echo[4] = 0x34;
    R.Echo[6] = static_cast<uint8_t>(ATag);
    // Without a true checksum the kernel drops the request and sends no reply.
    const uint16_t Sum = TIdIcmpClient::EchoChecksum({R.Echo, R.Length});
    R.Echo[2] = static_cast<uint8_t>(Sum);
    R.Echo[3] = static_cast<uint8_t>(Sum >> 8);
    return R;
}

// The same to ::1 over ICMPv6, whose checksum the kernel writes.
EchoHelper::TRequest GoodRequest6(uint32_t ATag) {
    EchoHelper::TRequest R = GoodRequest(ATag);
    R.Family = 6;
    std::memset(R.Address, 0, sizeof R.Address);
    R.Address[15] = 1;
    R.Echo[0] = 128;
    R.Echo[2] = R.Echo[3] = 0;
    return R;
}

// Sends AMessage (with a pipe's descriptors attached when asked) and reads what comes back
// until ATailMs after the outcome: "sent <errno>" for the outcome, "message <type>" for each
// answer, "fd" for any descriptor, which must never come.
std::string Exchange(int AChannel, const void* AMessage, size_t ALength, bool AAttach,
                     int ATailMs = 200) {
    iovec Part{const_cast<void*>(AMessage), ALength};
    msghdr Out{};
    Out.msg_iov = &Part;
    Out.msg_iovlen = 1;
    int Pipe[2] = {-1, -1};
    alignas(cmsghdr) char Control[CMSG_SPACE(2 * sizeof(int))] = {};
    if (AAttach && ::pipe(Pipe) == 0) {
        Out.msg_control = Control;
        Out.msg_controllen = sizeof Control;
        cmsghdr* H = CMSG_FIRSTHDR(&Out);
        H->cmsg_level = SOL_SOCKET;
        H->cmsg_type = SCM_RIGHTS;
        H->cmsg_len = CMSG_LEN(2 * sizeof(int));
        std::memcpy(CMSG_DATA(H), Pipe, sizeof Pipe);
    }
    std::string Seen = ::sendmsg(AChannel, &Out, MSG_NOSIGNAL) < 0 ? "unsent " : "";
    for (const int Fd : Pipe) {
        if (Fd >= 0) {
            ::close(Fd);
        }
    }
    for (;;) {
        pollfd P{AChannel, POLLIN, 0};
        if (::poll(&P, 1, Seen.find("sent") == std::string::npos ? 1000 : ATailMs) <= 0) {
            return Seen;
        }
        uint8_t Buffer[4096];
        iovec In{Buffer, sizeof Buffer};
        alignas(cmsghdr) char Received[256] = {};
        msghdr Message{};
        Message.msg_iov = &In;
        Message.msg_iovlen = 1;
        Message.msg_control = Received;
        Message.msg_controllen = sizeof Received;
        const ssize_t N = ::recvmsg(AChannel, &Message, MSG_CMSG_CLOEXEC);
        if (N <= 0) {
            return Seen + "gone ";
        }
        if (CMSG_FIRSTHDR(&Message) != nullptr) {
            Seen += "fd ";
        }
        EchoHelper::TAnswerHeader Header;
        std::memcpy(&Header, Buffer, sizeof Header);
        if (Header.Kind == EchoHelper::TAnswerKind::Sent) {
            Seen += "sent " + std::to_string(Header.Error) + " ";
        } else {
            // An IPv4 header tells its length; the IPv6 one in front of an ICMPv6 message is 40.
            const uint8_t First = Buffer[sizeof Header];
            const size_t Ip = (First >> 4) == 6 ? 40 : (First & 0x0F) * 4;
            Seen += "message " + std::to_string(Buffer[sizeof Header + Ip]) + " ";
        }
    }
}

TEST(RawSocketHelper, SendsCheckedEchoRequestsOnlyAndNeverHandsOutADescriptor) {
    using EchoHelper::TRequest;
    const auto Changed = [](auto AChange) {
        TRequest R = GoodRequest(7);
        AChange(R);
        return R;
    };
    const auto Changed6 = [](auto AChange) {
        TRequest R = GoodRequest6(7);
        AChange(R);
        return R;
    };
    const struct {
        const char* What;
        TRequest Request;
        size_t Size; // of the message; 0: the request's own
        bool Attach;
        const char* Outcome;
    } Cases[] = {
        // On loopback the raw socket reads the request itself, then the kernel's reply.
        {"an echo request", GoodRequest(7), 0, false, "sent 0 message 8 message 0 "},
        {"with descriptors attached", GoodRequest(7), 0, true, "sent 0 message 8 message 0 "},
        {"a timestamp request", Changed([](TRequest& R) { R.Echo[0] = 13; }), 0, false, "sent 42 "},
        {"an echo reply", Changed([](TRequest& R) { R.Echo[0] = 0; }), 0, false, "sent 42 "},
        {"code 1", Changed([](TRequest& R) { R.Echo[1] = 1; }), 0, false, "sent 42 "},
        // Over IPv6 the raw ICMPv6 socket's filter keeps the request itself away.
        {"an IPv6 echo request", GoodRequest6(7), 0, false, "sent 0 message 129 "},
        {"an IPv4 echo request marked IPv6", Changed([](TRequest& R) { R.Family = 6; }), 0, false,
         "sent 42 "},
        {"another family", Changed([](TRequest& R) { R.Family = 10; }), 0, false, "sent 74 "},
        {"an IPv6 echo reply", Changed6([](TRequest& R) { R.Echo[0] = 129; }), 0, false,
         "sent 42 "},
        {"an IPv6 neighbour solicitation", Changed6([](TRequest& R) { R.Echo[0] = 135; }), 0, false,
         "sent 42 "},
        {"an IPv6 echo request of code 1", Changed6([](TRequest& R) { R.Echo[1] = 1; }), 0, false,
         "sent 42 "},
        {"an IPv6 request of 7 bytes", Changed6([](TRequest& R) { R.Length = 7; }), 0, false,
         "sent 74 "},
        {"7 bytes", Changed([](TRequest& R) { R.Length = 7; }), 0, false, "sent 74 "},
        {"too long", Changed([](TRequest& R) { R.Length = 257; }), 0, false, "sent 74 "},
        // What code planted in the window once sent to be handed a raw socket.
        {"the old socket request", GoodRequest(7), 12, true, "sent 74 "},
        {"one byte short", GoodRequest(7), sizeof(TRequest) - 1, false, "sent 74 "},
        {"one byte long", GoodRequest(7), sizeof(TRequest) + 1, false, "sent 74 "},
        {"empty", GoodRequest(7), 0xFFFF'FFFF, false, "sent 74 "},
        // A destination nothing routes to in a namespace of lo alone.
        {"no route", Changed([](TRequest& R) { R.Address[0] = 10; }), 0, false, "sent 101 "},
        {"no IPv6 route", Changed6([](TRequest& R) { R.Address[0] = 0x20; }), 0, false,
         "sent 101 "},
    };
    for (const auto& C : Cases) {
        const auto Seen = InChild(
            "cap_net_raw=p", false,
            [&] {
                Privilege::DropAtStart();
                const int Channel = HelperProbe::FindChannel();
                if (Channel < 0) {
                    return std::string("no channel ");
                }
                std::vector<uint8_t> Message(sizeof(TRequest) + 1);
                std::memcpy(Message.data(), &C.Request, sizeof(TRequest));
                const size_t Size = C.Size == 0             ? sizeof(TRequest)
                                    : C.Size == 0xFFFF'FFFF ? 0
                                                            : C.Size;
                return Exchange(Channel, Message.data(), Size, C.Attach);
            },
            true);
        if (Seen == "needs root") {
            GTEST_SKIP() << "changing capabilities needs root";
        }
        EXPECT_EQ(Seen, std::string(C.Outcome) + "=") << C.What;
    }
}

// Every byte of the request through many values, messages of every size to 64 KiB, bursts
// with descriptors attached: the helper neither ends nor hands out a descriptor, holds
// the next good request is served.
TEST(RawSocketHelper, SurvivesEveryMalformedRequestAndServesTheNextGoodOne) {
    const auto Seen = InChild(
        "cap_net_raw=p", false,
        [] {
            Privilege::DropAtStart();
            const int Channel = HelperProbe::FindChannel();
            if (Channel < 0) {
                return std::string("no channel ");
            }
            std::string Faults;
            int Requests = 0;
            const auto Send = [&](const void* AData, size_t ALength, bool AAttach) {
                ++Requests;
                const std::string Seen = Exchange(Channel, AData, ALength, AAttach, 0);
                if (Seen.find("fd") != std::string::npos ||
                    Seen.find("gone") != std::string::npos ||
                    Seen.find("sent") == std::string::npos) {
                    Faults += std::to_string(ALength) + ": " + Seen + "; ";
                }
            };
            const EchoHelper::TRequest Good = GoodRequest(9);
            const uint8_t Values[] = {0x00, 0x01, 0x06, 0x08, 0x7F, 0x80, 0xFF};
            for (size_t At = 0; At < sizeof Good && Faults.empty(); ++At) {
                for (const uint8_t Value : Values) {
                    auto Bytes = reinterpret_cast<const uint8_t*>(&Good);
                    std::vector<uint8_t> Message(Bytes, Bytes + sizeof Good);
                    Message[At] = Value;
                    Send(Message.data(), Message.size(), At % 7 == 0);
                }
            }
            std::vector<uint8_t> Big(65536, 0x08);
            for (size_t Size = 1; Size <= Big.size() && Faults.empty(); Size = Size * 3 / 2 + 1) {
                Send(Big.data(), Size, Size % 2 == 0);
            }
            // Many at once, unread, then their answers all together.
            for (int I = 0; I < 200; ++I) {
                ::send(Channel, Big.data(), static_cast<size_t>(I), MSG_NOSIGNAL | MSG_DONTWAIT);
            }
            (void)Exchange(Channel, &Good, 0, false);
            TIdIcmpClient Client;
            Client.SetHost("127.0.0.1");
            Client.SetReceiveTimeout(1000);
            Client.PingOnce("  ");
            std::printf("helper fuzzed with %d requests\n", Requests);
            std::fflush(stdout);
            std::string Then = "then " + std::to_string(Client.LastStatus().Kind) + " from " +
                               Client.LastStatus().SourceAddress + " ";
            // IPv6 through the same helper: ping sockets are closed in this namespace.
            Client.SetHost("::1");
            Client.PingOnce("  ");
            return Faults + Then + std::to_string(Client.LastStatus().Kind) + " from " +
                   Client.LastStatus().SourceAddress + " hop limit " +
                   std::to_string(Client.LastStatus().Ttl) + " ";
        },
        true);
    if (Seen == "needs root") {
        GTEST_SKIP() << "changing capabilities needs root";
    }
    EXPECT_EQ(Seen, "then 0 from 127.0.0.1 0 from ::1 hop limit 64 =");
}

// Requests sent back to back, before any answer is read: each outcome comes in the order of
// its request, an answer only after its own request's outcome and before the next one, and a
// refused request has none. What a late answer finds (the next request taken) may drop it,
// so only the order is held to, not every answer.
TEST(RawSocketHelper, AnswersOfRequestsSentTogetherKeepTheirOrder) {
    const auto Seen = InChild(
        "cap_net_raw=p", false,
        [] {
            Privilege::DropAtStart();
            const int Channel = HelperProbe::FindChannel();
            if (Channel < 0) {
                return std::string("no channel ");
            }
            EchoHelper::TRequest Refused = GoodRequest(3);
            Refused.Echo[0] = 13;
            const EchoHelper::TRequest Requests[] = {GoodRequest(1), GoodRequest6(2), Refused,
                                                     GoodRequest(4), GoodRequest6(5)};
            for (const auto& R : Requests) {
                if (::send(Channel, &R, sizeof R, MSG_NOSIGNAL) != sizeof R) {
                    return std::string("unsent ");
                }
            }
            std::string Faults;
            uint32_t Outcomes = 0; // the tag of the last outcome read
            int Answers = 0;
            uint8_t Buffer[sizeof(EchoHelper::TAnswerHeader) + EchoHelper::MaxMessageBytes];
            for (pollfd P{Channel, POLLIN, 0}; ::poll(&P, 1, 300) == 1;) {
                const ssize_t N = ::recv(Channel, Buffer, sizeof Buffer, 0);
                if (N < static_cast<ssize_t>(sizeof(EchoHelper::TAnswerHeader))) {
                    return Faults + "short ";
                }
                EchoHelper::TAnswerHeader Header;
                std::memcpy(&Header, Buffer, sizeof Header);
                if (Header.Kind == EchoHelper::TAnswerKind::Sent) {
                    Faults += Header.Tag == Outcomes + 1 ? "" : "outcome out of order; ";
                    Faults += (Header.Error != 0) == (Header.Tag == 3) ? "" : "wrong outcome; ";
                    Outcomes = Header.Tag;
                } else {
                    Faults += Header.Tag == Outcomes && Outcomes != 3 ? "" : "stray answer; ";
                    ++Answers;
                }
            }
            return Faults + std::to_string(Outcomes) + " outcomes, " +
                   (Answers > 0 ? "answers " : "no answer ");
        },
        true);
    if (Seen == "needs root") {
        GTEST_SKIP() << "changing capabilities needs root";
    }
    EXPECT_EQ(Seen, "5 outcomes, answers =");
}

// A helper that has ended leaves the window pinging as a process without privilege (here
// none: ping sockets are closed in a fresh namespace); one that hangs costs the exchange one
// second and a socket error, never a hang.
TEST(RawSocketHelper, AHelperThatDiedOrHangsEndsThePingWithAnErrorText) {
    const struct {
        int Signal;
        const char* Outcome;
    } Cases[] = {
        {SIGKILL, "Cannot allocate socket. "},
        {SIGSTOP, "Socket Error # 10060\r\nConnection timed out. after 1 s "},
    };
    for (const auto& C : Cases) {
        const auto Seen = InChild(
            "cap_net_raw=p", false,
            [&] {
                Privilege::DropAtStart();
                const pid_t Helper = RawSocketHelper::Pid();
                ::kill(Helper, C.Signal);
                if (C.Signal == SIGKILL) {
                    ::waitpid(Helper, nullptr, 0);
                }
                TIdIcmpClient Client;
                Client.SetHost("127.0.0.1");
                Client.SetReceiveTimeout(1000);
                const auto Start = std::chrono::steady_clock::now();
                std::string Seen;
                try {
                    Client.PingOnce("  ");
                    Seen = "status " + std::to_string(Client.LastStatus().Kind) + " ";
                } catch (const Exception& E) {
                    Seen = E.Message() + " ";
                }
                const auto Took = std::chrono::steady_clock::now() - Start;
                if (Took > std::chrono::milliseconds(900)) {
                    Seen += "after " +
                            std::to_string(std::chrono::round<std::chrono::seconds>(Took).count()) +
                            " s ";
                }
                ::kill(Helper, SIGKILL);
                return Seen;
            },
            true);
        if (Seen == "needs root") {
            GTEST_SKIP() << "changing capabilities needs root";
        }
        EXPECT_EQ(Seen, std::string(C.Outcome) + "=") << C.Signal;
    }
}

// Runs the helper program as a child of this process with AChannel as descriptor 3 (-1:
// none open there): its exit code and what it wrote, or -1 when it did not end within 5 s.
std::pair<int, std::string> RunHelperProgram(const std::vector<std::string>& AArgs, int AChannel) {
    int Out[2];
    if (::pipe(Out) != 0) {
        return {-1, "no pipe"};
    }
    const pid_t Child = ::fork();
    if (Child == 0) {
        ::dup2(Out[1], STDERR_FILENO);
        if (AChannel >= 0) {
            ::dup2(AChannel, 3);
        } else {
            ::close(3);
        }
        std::vector<char*> Argv{const_cast<char*>(buildpaths::RawHelperProgram)};
        for (const std::string& A : AArgs) {
            Argv.push_back(const_cast<char*>(A.c_str()));
        }
        Argv.push_back(nullptr);
        ::execv(buildpaths::RawHelperProgram, Argv.data());
        ::_exit(127);
    }
    ::close(Out[1]);
    std::string Written;
    char Buffer[256];
    for (pollfd P{Out[0], POLLIN, 0}; ::poll(&P, 1, 5000) == 1;) {
        const ssize_t N = ::read(Out[0], Buffer, sizeof Buffer);
        if (N <= 0) {
            break;
        }
        Written.append(Buffer, static_cast<size_t>(N));
    }
    ::close(Out[0]);
    // The helper closes its output before it ends: the end of the output is not its end.
    int Status = 0;
    bool Ended = false;
    for (int I = 0; I < 500 && !(Ended = ::waitpid(Child, &Status, WNOHANG) == Child); ++I) {
        ::usleep(10'000);
    }
    if (!Ended) {
        ::kill(Child, SIGKILL);
        ::waitpid(Child, nullptr, 0);
        return {-1, Written};
    }
    return {WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status), Written};
}

// Started by anyone but the window's process, the helper program serves nobody: it wants its
// parent's pid as the one argument, and a channel on descriptor 3 that this parent made.
TEST(RawSocketHelper, TheProgramStartedAnyOtherWayEndsWithoutServing) {
    const std::string Parent = std::to_string(::getpid());
    int NotASocket[2];
    ASSERT_EQ(::pipe(NotASocket), 0);
    const std::string Refusal = "vexlo-raw-helper: only the vexlo program starts this helper\n";
    const struct {
        const char* What;
        std::vector<std::string> Args;
        int Channel;
        int Code;
        std::string Written;
    } Cases[] = {
        {"no argument", {}, -1, 2, Refusal},
        {"two arguments", {Parent, Parent}, -1, 2, Refusal},
        {"no number", {"vexlo"}, -1, 2, Refusal},
        {"a number and more", {Parent + "x"}, -1, 2, Refusal},
        {"an empty argument", {""}, -1, 2, Refusal},
        {"zero", {"0"}, -1, 2, Refusal},
        {"a negative pid", {"-" + Parent}, -1, 2, Refusal},
        {"a pid out of range", {"99999999999999999999"}, -1, 2, Refusal},
        // Quietly: a pid that is not its parent's, or no channel from the parent.
        {"another process's pid", {"1"}, -1, 0, ""},
        {"no channel", {Parent}, -1, 1, ""},
        {"a pipe for a channel", {Parent}, NotASocket[0], 1, ""},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.What);
        const auto [Code, Written] = RunHelperProgram(C.Args, C.Channel);
        EXPECT_EQ(Code, C.Code);
        EXPECT_EQ(Written, C.Written);
    }
    ::close(NotASocket[0]);
    ::close(NotASocket[1]);
}

TEST(RawSocketHelper, EndsWithTheProgramEvenWhenItIsKilled) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "starting the helper needs the raw-socket privilege";
    }
    // The closed channel alone, with the program still there, is the end as the helper
    // reads it without the death signal's help. A fork of the program and the helper program
    // alike.
    for (const std::string& Runs : {std::string(), std::string(buildpaths::RawHelperProgram)}) {
        for (const std::string How : {"program ended", "program killed", "channel closed"}) {
            int Pipe[2];
            ASSERT_EQ(::pipe(Pipe), 0);
            const pid_t Program = ::fork();
            if (Program == 0) {
                const pid_t Helper = RawSocketHelper::Start(Runs) ? RawSocketHelper::Pid() : 0;
                if (How == "channel closed") {
                    ::close(HelperProbe::FindChannel());
                }
                (void)!::write(Pipe[1], &Helper, sizeof Helper);
                if (How != "program ended") {
                    ::pause();
                }
                ::_exit(0);
            }
            pid_t Helper = 0;
            ::close(Pipe[1]);
            ASSERT_EQ(::read(Pipe[0], &Helper, sizeof Helper), static_cast<ssize_t>(sizeof Helper));
            ::close(Pipe[0]);
            ASSERT_NE(Helper, 0);
            // The helper program, where one is given; a fork runs the program's image. Read
            // while the program waits: in the other ways the helper may already have ended.
            if (How == "program killed") {
                const auto Image =
                    std::filesystem::read_symlink("/proc/" + std::to_string(Helper) + "/exe");
                EXPECT_EQ(Image, Runs.empty() ? std::filesystem::read_symlink("/proc/self/exe")
                                              : std::filesystem::path(Runs));
            }
            if (How == "program killed") {
                ::kill(Program, SIGKILL);
                ::waitpid(Program, nullptr, 0);
            } else if (How == "program ended") {
                ::waitpid(Program, nullptr, 0);
            }
            // Gone, or a zombie that only waits for its new parent to collect it.
            const auto Running = [Helper] {
                std::ifstream Stat("/proc/" + std::to_string(Helper) + "/stat");
                std::string Pid, Name, State;
                return static_cast<bool>(Stat >> Pid >> Name >> State) && State != "Z";
            };
            for (int I = 0; I < 100 && Running(); ++I) {
                ::usleep(20'000);
            }
            EXPECT_FALSE(Running()) << How;
            if (How == "channel closed") {
                ::kill(Program, SIGKILL);
                ::waitpid(Program, nullptr, 0);
            }
        }
    }
}

TEST(RawPrivilege, TheSocketAdapterRaisesItOnlyForTheCallAndKeepsTheCallsError) {
    const auto& Loader = IdPlatform::SystemLibraryLoader();
    const auto Library = Loader.Load(IdResourceStrings::RSWS2LibraryName);
    const auto Socket = reinterpret_cast<IdWinSock2::TSocket (*)(int, int, int)>(
        Loader.FindEntry(Library, "socket"));
    const auto LastError =
        reinterpret_cast<int (*)()>(Loader.FindEntry(Library, "WSAGetLastError"));
    const struct {
        const char* Held;
        const char* Outcome; // the call's, then what the process holds after it
    } Cases[] = {
        {"cap_net_raw=p", "opened cap_net_raw=p"},
        // In force already, as in a program that never gave it up: left so.
        {"cap_net_raw=ep", "opened cap_net_raw=ep"},
        {"=", "error 10013 ="},
    };
    for (const auto& C : Cases) {
        const auto Seen = InChild(C.Held, false, [&] {
            return Socket(AF_INET, SOCK_RAW, IPPROTO_ICMP) >= 0
                       ? std::string("opened ")
                       : "error " + std::to_string(LastError()) + " ";
        });
        if (Seen == "needs root") {
            GTEST_SKIP() << "changing capabilities needs root";
        }
        EXPECT_EQ(Seen, C.Outcome) << C.Held;
    }
}

} // namespace
