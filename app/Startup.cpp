#include "app/Startup.h"

#include "app/Privilege.h"

#include <QByteArray>
#include <QtGlobal>
#include <algorithm>
#include <string_view>

namespace Startup {

std::optional<int> HandleInformationOptions(int AArgc, char** AArgv, std::ostream& AOut) {
    for (int I = 1; I < AArgc; ++I) {
        const std::string_view Arg = AArgv[I];
        if (Arg == "--help" || Arg == "-h") {
            AOut << "Usage: vexlo\n"
                    "Tells whether a host answers one ICMP echo request.\n\n"
                    "Type an IPv4 address, a host name or a name from the host list into the\n"
                    "window and press Enter. The host list is the file beside the program with\n"
                    "the extension .txt where you may write it or its folder; otherwise, as for\n"
                    "a program installed for everyone, your own $XDG_CONFIG_HOME/vexlo/vexlo.txt\n"
                    "(~/.config/vexlo/vexlo.txt), which starts as a copy of the list beside the\n"
                    "program.\n\n"
                    "Pings go out without any privilege where net.ipv4.ping_group_range\n"
                    "admits one of your groups (sysctl net.ipv4.ping_group_range; id -G);\n"
                    "otherwise through a raw socket, which needs root or the capability:\n"
                    "  sudo setcap cap_net_raw+ep <path of vexlo>\n\n"
                    "  --help     show this text and exit\n"
                    "  --version  show the version and exit\n";
            return 0;
        }
        if (Arg == "--version") {
            AOut << "vexlo " VEXLO_VERSION "\n";
            return 0;
        }
    }
    return std::nullopt;
}

void KeepProgramNameOnly(int& AArgc, char** AArgv) {
    // A title of Qt's choosing would hide this copy from the next one, and a geometry would
    // move the window off its place.
    AArgc = std::min(AArgc, 1);
    AArgv[AArgc] = nullptr;
}

void PrepareProcess(int& AArgc, char** AArgv) {
    Privilege::DropAtStart();
    if (Privilege::SecureExecution()) {
        Privilege::ForgetUserPluginChoices(AArgc, AArgv);
    }
    // A Wayland session lets no client place itself, stay on top or find another's window:
    // the X11 server it runs for older programs can. Qt reads no option of the command line
    // (only the program's name reaches it), so the environment is the user's one choice.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        !qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("xcb"));
    }
}

} // namespace Startup
