// The program as app/main.cpp starts it, with marks on the way: it quits after the window's
// first frame. With "--reply N" it first times N Enter releases that ping 127.0.0.1 against
// N repaints of the same reply without a ping, each until the status line's paint is done.
#include "app/Application.h"
#include "app/PingForm.h"
#include "app/Shell.h"
#include "app/Startup.h"
#include "bench/StartupBenchProbe.h"
#include "controls/Label.h"
#include "net/IdIcmpClient.h"

#include <QApplication>
#include <QKeyEvent>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using startupbench::MonotonicNs;

double Percentile(std::vector<double> AValues, double AFraction) {
    std::sort(AValues.begin(), AValues.end());
    return AValues[static_cast<size_t>(AFraction * static_cast<double>(AValues.size() - 1))];
}

// Microseconds from AStart until the status line's next paint is done; -1 when none comes.
double UntilStatusPainted(startupbench::TPaintClock& AClock, long long AStart) {
    const long long Deadline = MonotonicNs() + 2000000000LL;
    while (!AClock.Painted && MonotonicNs() < Deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return AClock.Painted ? static_cast<double>(AClock.PaintedAt - AStart) / 1e3 : -1;
}

bool MeasureReply(TPingForm& AForm, int ARuns) {
    auto* PingLabel = AForm.findChild<TLabel*>(QStringLiteral("PingLabel"));
    auto* IpEdit = AForm.findChild<TIpEdit*>(QStringLiteral("IpEdit"));
    startupbench::TPaintClock Clock(PingLabel);
    TReplyStatus Reply;
    Reply.Kind = rkEchoReply;
    const QString Expected = QStringLiteral("Reply from 127.0.0.1");
    IpEdit->setText(QStringLiteral("127.0.0.1"));
    std::vector<double> WithPing;
    std::vector<double> WithoutPing;
    for (int Run = 0; Run < ARuns; ++Run) {
        // Both start from "Not pinged" on the screen and end with the reply painted.
        Clock.Painted = false;
        AForm.IpEditChange();
        UntilStatusPainted(Clock, MonotonicNs());

        QWidget* Focus = QApplication::focusWidget();
        QKeyEvent Release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier);
        Clock.Painted = false;
        long long Start = MonotonicNs();
        QCoreApplication::sendEvent(Focus != nullptr ? Focus : &AForm, &Release);
        WithPing.push_back(UntilStatusPainted(Clock, Start));
        if (PingLabel->text() != Expected || WithPing.back() < 0) {
            std::printf("error: Enter showed \"%s\" (a ping needs root or cap_net_raw)\n",
                        PingLabel->text().toLocal8Bit().constData());
            return false;
        }

        Clock.Painted = false;
        AForm.IpEditChange();
        UntilStatusPainted(Clock, MonotonicNs());
        Clock.Painted = false;
        Start = MonotonicNs();
        AForm.EchoClientReply(*AForm.EchoClient, Reply);
        WithoutPing.push_back(UntilStatusPainted(Clock, Start));
    }
    std::printf("reply-enter %.1f %.1f\n", Percentile(WithPing, 0.5), Percentile(WithPing, 0.9));
    std::printf("reply-repaint %.1f %.1f\n", Percentile(WithoutPing, 0.5),
                Percentile(WithoutPing, 0.9));
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int AArgc, char** AArgv) {
    startupbench::Mark("main");
    const int ReplyRuns =
        AArgc > 2 && std::strcmp(AArgv[1], "--reply") == 0 ? std::atoi(AArgv[2]) : 0;
    Startup::PrepareProcess();
    // On another core while Qt connects to the display; the window's first text needs it.
    std::jthread FontConfiguration = Shell::LoadFontConfigurationEarly();
    TApplication Application(AArgc, AArgv);
    startupbench::Mark("application");
    Application.SetTitle(QStringLiteral("Vexlo"));
    if (FontConfiguration.joinable()) {
        FontConfiguration.join();
    }
    Application.CreateForm();
    startupbench::Mark("form");
    TPingForm* Form = Application.MainForm();
    if (Form == nullptr) {
        return 1;
    }
    bool Measured = true;
    startupbench::TFirstFrame FirstFrame(Form, [&] {
        startupbench::Mark("first-paint");
        if (ReplyRuns > 0) {
            Measured = MeasureReply(*Form, ReplyRuns);
        }
        QCoreApplication::quit();
    });
    const int Code = Application.Run();
    return Measured ? Code : 1;
}
