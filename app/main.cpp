#include "app/Application.h"
#include "app/Shell.h"
#include "app/Startup.h"

#include <iostream>
#include <sstream>

int main(int AArgc, char** AArgv) {
    std::ostringstream Information;
    if (const auto Code = Startup::HandleInformationOptions(AArgc, AArgv, Information)) {
        Shell::UseStartingConsole();
        std::cout << Information.str() << std::flush;
        return *Code;
    }
    if (const auto Code = Startup::ReportMissingDisplay(std::cerr)) {
        return *Code;
    }
    Startup::KeepProgramNameOnly(AArgc, AArgv);
    Startup::PrepareProcess();
    // On another core while Qt connects to the display; the window's first text needs it.
    std::jthread FontConfiguration = Shell::LoadFontConfigurationEarly();
    TApplication Application(AArgc, AArgv);
    Application.SetTitle(QStringLiteral("Vexlo"));
    if (FontConfiguration.joinable()) {
        FontConfiguration.join();
    }
    Application.CreateForm();
    return Application.Run();
}
