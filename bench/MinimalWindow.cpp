// The floor for the start-up figures: the least Qt Widgets program with a window like
// Vexlo's, 210 x 60 and frameless, that quits once its first frame is painted. With "--text"
// the window also shows one line of text, which is what first needs the font database; with
// "--edit" an edit box above it as well, as Vexlo has.
#include "bench/StartupBenchProbe.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>
#include <cstring>

int main(int AArgc, char** AArgv) {
    startupbench::Mark("main");
    QApplication Application(AArgc, AArgv);
    startupbench::Mark("application");
    QWidget Window(nullptr, Qt::Window | Qt::FramelessWindowHint);
    Window.setFixedSize(210, 60);
    const bool Edit = AArgc > 1 && std::strcmp(AArgv[1], "--edit") == 0;
    if (Edit || (AArgc > 1 && std::strcmp(AArgv[1], "--text") == 0)) {
        auto* Line = new QLabel(QStringLiteral("Not pinged"), &Window);
        Line->setGeometry(8, 42, 161, 13);
    }
    if (Edit) {
        auto* Box = new QLineEdit(QStringLiteral("127.0.0.1"), &Window);
        Box->setFrame(false);
        Box->setGeometry(18, 14, 91, 14);
        Box->setFocus();
    }
    startupbench::Mark("form");
    startupbench::TFirstFrame FirstFrame(&Window, [] {
        startupbench::Mark("first-paint");
        QCoreApplication::quit();
    });
    Window.show();
    return Application.exec();
}
