// Start-up of Vexlo against the least Qt program with a window like it, in the same run
// under one Xvfb, runs alternating: time from fork to the first painted frame and peak
// resident memory (wait4). Then the Enter release to the painted reply for 127.0.0.1 next
// to the same repaint without a ping, measured inside the program.
// Usage: bench_startup [RUNS] [REPLY_RUNS]. A ping needs root or cap_net_raw.
#include "tests/support/BuildPaths.h"
#include "tests/support/Process.h"
#include "tests/support/XServer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

// The clock the measured programs print their marks in (StartupBenchProbe.h).
long long MonotonicNs() {
    timespec Now{};
    clock_gettime(CLOCK_MONOTONIC, &Now);
    return Now.tv_sec * 1000000000LL + Now.tv_nsec;
}

struct TRun {
    bool Ok = false;
    std::map<std::string, double> MsAfterFork; // each mark the program printed
    double PeakMb = 0;
    std::string Output;
};

// Runs AProgram to its end (bounded), with its stdout read for the marks.
TRun RunOnce(const std::vector<std::string>& AArgs, const std::string& ADisplay,
             const std::optional<TUser>& AUser = std::nullopt) {
    TRun Result;
    const long long Forked = MonotonicNs();
    TProcessOptions Options;
    Options.Environment = {"DISPLAY=" + ADisplay, "QT_QPA_PLATFORM=xcb"};
    Options.User = AUser;
    TProcess Program(AArgs, Options);
    const std::optional<int> Status = Program.Wait(std::chrono::seconds(60));
    Program.Kill();
    Result.Output = Program.Output();
    Result.PeakMb = static_cast<double>(Program.PeakResidentKb()) / 1024.0;
    // Marks are "NAME NANOSECONDS" lines; whatever else the program says is kept for errors.
    std::istringstream Lines(Result.Output);
    for (std::string Line; std::getline(Lines, Line);) {
        char Name[64];
        long long At = 0;
        if (std::sscanf(Line.c_str(), "%63s %lld", Name, &At) == 2) {
            Result.MsAfterFork[Name] = static_cast<double>(At - Forked) / 1e6;
        }
    }
    Result.Ok = Status == 0 && Result.MsAfterFork.count("first-paint") == 1;
    return Result;
}

double Percentile(std::vector<double> AValues, double AFraction) {
    if (AValues.empty()) {
        return 0;
    }
    std::sort(AValues.begin(), AValues.end());
    return AValues[static_cast<size_t>(AFraction * static_cast<double>(AValues.size() - 1))];
}

struct TSeries {
    const char* Name;
    std::vector<std::string> Command;
    std::vector<TRun> Runs;
    std::optional<TUser> User = std::nullopt;

    std::vector<double> Marks(const std::string& AMark) const {
        std::vector<double> Result;
        for (const TRun& Run : Runs) {
            Result.push_back(Run.MsAfterFork.at(AMark));
        }
        return Result;
    }
    std::vector<double> Peaks() const {
        std::vector<double> Result;
        for (const TRun& Run : Runs) {
            Result.push_back(Run.PeakMb);
        }
        return Result;
    }
};

bool Measure(TSeries& ASeries, const std::string& ADisplay, bool AKeep) {
    TRun Run = RunOnce(ASeries.Command, ADisplay, ASeries.User);
    if (!Run.Ok) {
        std::fprintf(stderr, "%s failed:\n%s\n", ASeries.Name, Run.Output.c_str());
        return false;
    }
    if (AKeep) {
        ASeries.Runs.push_back(std::move(Run));
    }
    return true;
}

} // namespace

int main(int AArgc, char** AArgv) {
    const int Runs = AArgc > 1 ? std::atoi(AArgv[1]) : 20;
    const int ReplyRuns = AArgc > 2 ? std::atoi(AArgv[2]) : 500;
    const TXServer Server;
    if (!Server.Error().empty()) {
        std::fprintf(stderr, "bench_startup: %s\n", Server.Error().c_str());
        return 1;
    }
    // Copies in a folder of their own, laid out as installed: the program's host list lives
    // beside it, and a raised start runs the helper program from libexec.
    char Pattern[] = "/tmp/vexlo-startup-XXXXXX";
    if (mkdtemp(Pattern) == nullptr) {
        return 1;
    }
    const std::filesystem::path Folder = Pattern;
    std::filesystem::create_directories(Folder / "bin");
    std::filesystem::create_directories(Folder / "libexec" / "vexlo");
    std::filesystem::copy_file(buildpaths::StartupVexlo, Folder / "bin" / "vexlo");
    std::filesystem::copy_file(buildpaths::StartupMinimal, Folder / "bin" / "minimal");
    std::filesystem::copy_file(buildpaths::StartupRawHelper,
                               Folder / "libexec" / "vexlo" / "vexlo-raw-helper");
    const std::string VexloBinary = (Folder / "bin" / "vexlo").string();
    const std::string MinimalBinary = (Folder / "bin" / "minimal").string();
    TSeries Minimal{"minimal Qt window", {MinimalBinary}, {}};
    TSeries MinimalText{"  with a text line", {MinimalBinary, "--text"}, {}};
    TSeries MinimalEdit{"  and an edit box", {MinimalBinary, "--edit"}, {}};
    TSeries Vexlo{"vexlo", {VexloBinary}, {}};
    std::vector<TSeries*> Order = {&Minimal, &MinimalText, &MinimalEdit, &Vexlo};
    // Run as root, Vexlo's start is the raised one, with its helper. Most people start it as
    // an ordinary user: a copy in a folder of that user's, where its host list lives.
    TSeries Ordinary{"vexlo, as nobody", {(Folder / "user" / "vexlo").string()}, {}, Nobody()};
    if (::geteuid() == 0) {
        std::filesystem::create_directories(Folder / "user");
        std::filesystem::copy_file(buildpaths::StartupVexlo, Folder / "user" / "vexlo");
        const bool Owned =
            ::chown((Folder / "user").c_str(), Ordinary.User->Uid, Ordinary.User->Gid) == 0 &&
            ::chown(Ordinary.Command[0].c_str(), Ordinary.User->Uid, Ordinary.User->Gid) == 0;
        std::filesystem::permissions(Folder, std::filesystem::perms::owner_all |
                                                 std::filesystem::perms::group_exec |
                                                 std::filesystem::perms::others_exec);
        if (Owned) {
            Order.push_back(&Ordinary);
        }
    }
    const int Series = static_cast<int>(Order.size());

    bool Ok = true;
    // Warm-up, unmeasured: the page cache holds the programs and Qt from here on, and the
    // host list file exists as it does for a user.
    for (int I = 0; I < 2 && Ok; ++I) {
        for (TSeries* Series : Order) {
            Ok = Ok && Measure(*Series, Server.Name(), false);
        }
    }
    // Round after round, each starting one program further on, so none always follows the
    // same other.
    for (int I = 0; I < Runs && Ok; ++I) {
        for (int J = 0; J < Series; ++J) {
            Ok = Ok && Measure(*Order[(I + J) % Series], Server.Name(), true);
        }
    }
    if (!Ok) {
        std::filesystem::remove_all(Folder);
        return 1;
    }

    std::printf("start-up under Xvfb %s, %d runs each, alternating (ms from fork)\n",
                Server.Name().c_str(), Runs);
    std::printf("  %-18s %8s %8s %8s %8s %11s %10s %8s\n", "", "main", "app", "window", "paint",
                "paint p90", "peak MB", "MB p90");
    for (const TSeries* Series : Order) {
        std::printf(
            "  %-18s %8.1f %8.1f %8.1f %8.1f %11.1f %10.1f %8.1f\n", Series->Name,
            Percentile(Series->Marks("main"), 0.5), Percentile(Series->Marks("application"), 0.5),
            Percentile(Series->Marks("form"), 0.5), Percentile(Series->Marks("first-paint"), 0.5),
            Percentile(Series->Marks("first-paint"), 0.9), Percentile(Series->Peaks(), 0.5),
            Percentile(Series->Peaks(), 0.9));
    }
    const double Ratio =
        Percentile(Vexlo.Marks("first-paint"), 0.5) / Percentile(Minimal.Marks("first-paint"), 0.5);
    const double ExtraMb = Percentile(Vexlo.Peaks(), 0.5) - Percentile(Minimal.Peaks(), 0.5);
    std::printf("  start-up ratio (medians)   %.2f   target <= 1.15   %s\n", Ratio,
                Ratio <= 1.15 ? "met" : "MISSED");
    std::printf("  extra peak memory (medians) %.1f MB   target <= 3 MB   %s\n", ExtraMb,
                ExtraMb <= 3 ? "met" : "MISSED");
    std::printf("  start-up ratio to the window with a text line %.2f, extra memory %.1f MB\n",
                Percentile(Vexlo.Marks("first-paint"), 0.5) /
                    Percentile(MinimalText.Marks("first-paint"), 0.5),
                Percentile(Vexlo.Peaks(), 0.5) - Percentile(MinimalText.Peaks(), 0.5));
    // The window Vexlo's is most like: what it adds to that is its own.
    const double EditRatio = Percentile(Vexlo.Marks("first-paint"), 0.5) /
                             Percentile(MinimalEdit.Marks("first-paint"), 0.5);
    const double EditExtraMb =
        Percentile(Vexlo.Peaks(), 0.5) - Percentile(MinimalEdit.Peaks(), 0.5);
    std::printf("  start-up ratio to the window with an edit box and text %.2f   target <= 1.05   "
                "%s\n",
                EditRatio, EditRatio <= 1.05 ? "met" : "MISSED");
    if (!Ordinary.Runs.empty()) {
        const double OrdinaryRatio = Percentile(Ordinary.Marks("first-paint"), 0.5) /
                                     Percentile(MinimalEdit.Marks("first-paint"), 0.5);
        std::printf("  the same, started as nobody (no helper) %.2f   target <= 1.05   %s\n",
                    OrdinaryRatio, OrdinaryRatio <= 1.05 ? "met" : "MISSED");
    }
    std::printf("  extra peak memory over it %.1f MB   target <= 1.5 MB   %s\n", EditExtraMb,
                EditExtraMb <= 1.5 ? "met" : "MISSED");
    std::printf("  (main: exec and dynamic linking; app: the application object and the X "
                "connection;\n   window: the window made, FormCreate included; paint: first "
                "frame flushed)\n");

    if (ReplyRuns > 0) {
        const TRun Reply =
            RunOnce({VexloBinary, "--reply", std::to_string(ReplyRuns)}, Server.Name());
        std::istringstream Lines(Reply.Output);
        double Enter[2] = {-1, -1};
        double Repaint[2] = {-1, -1};
        for (std::string Line; std::getline(Lines, Line);) {
            std::sscanf(Line.c_str(), "reply-enter %lf %lf", &Enter[0], &Enter[1]);
            std::sscanf(Line.c_str(), "reply-repaint %lf %lf", &Repaint[0], &Repaint[1]);
            if (Line.rfind("error:", 0) == 0) {
                std::printf("%s\n", Line.c_str());
            }
        }
        if (Enter[0] < 0 || Repaint[0] < 0) {
            Ok = false;
        } else {
            std::printf("\nEnter release to painted reply, 127.0.0.1, %d repetitions (us)\n",
                        ReplyRuns);
            std::printf("  %-34s median %7.1f   p90 %7.1f\n", "Enter, ping and repaint", Enter[0],
                        Enter[1]);
            std::printf("  %-34s median %7.1f   p90 %7.1f\n", "the same repaint, no ping",
                        Repaint[0], Repaint[1]);
            const double Added = (Enter[0] - Repaint[0]) / 1000;
            std::printf("  the ping adds %.3f ms (medians)   target <= 1 ms   %s\n", Added,
                        Added <= 1 ? "met" : "MISSED");
        }
    }
    std::filesystem::remove_all(Folder);
    return Ok ? 0 : 1;
}
