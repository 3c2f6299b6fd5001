#include "app/Application.h"
#include "app/Startup.h"

#include <iostream>

int main(int AArgc, char** AArgv) {
    if (const auto Code = Startup::HandleInformationOptions(AArgc, AArgv, std::cout)) {
        return *Code;
    }
    if (const auto Code = Startup::ReportMissingDisplay(std::cerr)) {
        return *Code;
    }
    Startup::KeepProgramNameOnly(AArgc, AArgv);
    Startup::PrepareProcess();
    TApplication Application(AArgc, AArgv);
    Application.SetTitle(QStringLiteral("Vexlo"));
    Application.CreateForm();
    return Application.Run();
}
