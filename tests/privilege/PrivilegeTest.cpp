// The raw-socket privilege held narrowly, and a raised start's command line and environment.
#include "app/Privilege.h"
#include "app/RawSocketHelper.h"
#include "net/IdPlatform.h"
#include "net/IdResourceStrings.h"
#include "net/IdWinSockTypes.h"

#include <QByteArray>
#include <QtGlobal>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <string>
#include <sys/capability.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
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

// Capabilities belong to the process, so each case runs in a child of its own: it takes the
// given ones, runs the body and reports what it then holds, through a pipe.
template <typename F> std::string InChild(const char* AHeld, bool AAmbient, F ABody) {
    int Pipe[2];
    if (::geteuid() != 0 || ::pipe(Pipe) != 0) {
        return "needs root";
    }
    if (::fork() == 0) {
        cap_t Caps = AHeld ? ::cap_from_text(AHeld) : ::cap_get_proc();
        std::string Seen = "cannot hold them";
        if (::cap_set_proc(Caps) == 0 &&
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
    char Template[] = "/tmp/vexlo-install.XXXXXX";
    ASSERT_NE(::mkdtemp(Template), nullptr);
    const std::string Root = Template;
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
    std::remove((Root + "/link").c_str());
    std::remove(Program.c_str());
    ::rmdir(Bin.c_str());
    ::rmdir(Root.c_str());
}

// The kind of socket a descriptor is, as "family type protocol"; "refused" without one.
std::string KindOf(int AFd) {
    if (AFd < 0) {
        return "refused " + std::to_string(errno);
    }
    int Values[3] = {};
    const int Names[3] = {SO_DOMAIN, SO_TYPE, SO_PROTOCOL};
    for (int I = 0; I < 3; ++I) {
        socklen_t Len = sizeof Values[I];
        ::getsockopt(AFd, SOL_SOCKET, Names[I], &Values[I], &Len);
    }
    ::close(AFd);
    return std::to_string(Values[0]) + " " + std::to_string(Values[1]) + " " +
           std::to_string(Values[2]);
}

TEST(RawSocketHelper, OpensRawIcmpOverIpv4AndRefusesEveryOtherKind) {
    const auto Seen = InChild("cap_net_raw=p", false, [] {
        Privilege::DropAtStart();
        std::string Seen;
        const int Kinds[][3] = {{AF_INET, SOCK_RAW, IPPROTO_ICMP},
                                {AF_PACKET, SOCK_RAW, 0x0300}, // every frame of the machine
                                {AF_INET, SOCK_RAW, IPPROTO_UDP},
                                {AF_INET, SOCK_RAW, IPPROTO_RAW},
                                {AF_INET6, SOCK_RAW, IPPROTO_ICMPV6},
                                {AF_INET, SOCK_DGRAM, IPPROTO_ICMP}};
        for (const auto& K : Kinds) {
            Seen += KindOf(RawSocketHelper::RequestSocket(K[0], K[1], K[2])) + ", ";
        }
        return Seen;
    });
    if (Seen == "needs root") {
        GTEST_SKIP() << "changing capabilities needs root";
    }
    EXPECT_EQ(Seen, "2 3 1, refused 1, refused 1, refused 1, refused 1, refused 1, =");
}

// The window's end of the channel to the helper, found as any code in the process could
// find it: the one sequenced-packet socket of the process.
int HelperChannel() {
    for (int Fd = 0; Fd < 1024; ++Fd) {
        int Domain = 0, Type = 0;
        socklen_t Len = sizeof Domain;
        if (::getsockopt(Fd, SOL_SOCKET, SO_DOMAIN, &Domain, &Len) == 0 &&
            ::getsockopt(Fd, SOL_SOCKET, SO_TYPE, &Type, &Len) == 0 && Domain == AF_UNIX &&
            Type == SOCK_SEQPACKET) {
            return Fd;
        }
    }
    return -1;
}

TEST(RawSocketHelper, PassesOverMessagesOfTheWrongSizeAndKeepsServing) {
    // A request is three 32-bit integers: 12 bytes.
    const struct {
        const char* Sent;
        std::vector<size_t> Sizes;
    } Cases[] = {
        {"an empty message", {0}},
        {"one byte short", {11}},
        {"one byte long", {13}},
        {"several", {0, 1, 0, 64, 0}},
    };
    for (const auto& C : Cases) {
        const auto Seen = InChild("cap_net_raw=p", false, [&] {
            Privilege::DropAtStart();
            const int Channel = HelperChannel();
            if (Channel < 0) {
                return std::string("no channel ");
            }
            const char Bytes[64] = {};
            for (const size_t Size : C.Sizes) {
                if (::send(Channel, Bytes, Size, MSG_NOSIGNAL) != static_cast<ssize_t>(Size)) {
                    return "cannot send " + std::to_string(errno) + " ";
                }
            }
            // Twice: an answer to a message that asked nothing would be read by the first
            // request, and the first request's answer by the second.
            std::string Seen;
            for (int I = 0; I < 2; ++I) {
                Seen +=
                    KindOf(RawSocketHelper::RequestSocket(AF_INET, SOCK_RAW, IPPROTO_ICMP)) + ", ";
            }
            return Seen;
        });
        if (Seen == "needs root") {
            GTEST_SKIP() << "changing capabilities needs root";
        }
        EXPECT_EQ(Seen, "2 3 1, 2 3 1, =") << C.Sent;
    }
}

TEST(RawSocketHelper, EndsWithTheProgramEvenWhenItIsKilled) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "starting the helper needs the raw-socket privilege";
    }
    // The closed channel alone, with the program still there, is the end as the helper
    // reads it without the death signal's help.
    for (const std::string How : {"program ended", "program killed", "channel closed"}) {
        int Pipe[2];
        ASSERT_EQ(::pipe(Pipe), 0);
        const pid_t Program = ::fork();
        if (Program == 0) {
            const pid_t Helper = RawSocketHelper::Start() ? RawSocketHelper::Pid() : 0;
            if (How == "channel closed") {
                ::close(HelperChannel());
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
