#include "tests/app/AppTestMain.h"

#include "app/Application.h"
#include "tests/support/GuiTestMain.h"

namespace {
TApplication* Application = nullptr;
}

TApplication& TestApplication() {
    return *Application;
}

// The window needs the application object itself: its title, error box and termination.
std::unique_ptr<QApplication> MakeTestApplication(int& AArgc, char** AArgv) {
    auto App = std::make_unique<TApplication>(AArgc, AArgv);
    App->SetTitle(QStringLiteral("Vexlo"));
    Application = App.get();
    return App;
}
