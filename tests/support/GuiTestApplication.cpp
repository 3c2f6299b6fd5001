#include "tests/support/GuiTestMain.h"

std::unique_ptr<QApplication> MakeTestApplication(int& AArgc, char** AArgv) {
    return std::make_unique<QApplication>(AArgc, AArgv);
}
