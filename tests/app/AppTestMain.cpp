#include "tests/app/AppTestMain.h"

#include "app/Application.h"

#include <QByteArray>

#include <gtest/gtest.h>

namespace {
TApplication* Application = nullptr;
}

TApplication& TestApplication() {
    return *Application;
}

// The window needs the application object itself: its title, error box and termination.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    }
    ::testing::InitGoogleTest(&argc, argv);
    TApplication App(argc, argv);
    App.SetTitle(QStringLiteral("Vexlo"));
    Application = &App;
    return RUN_ALL_TESTS();
}
