#include "app/Startup.h"

#include "app/Privilege.h"
#include "hosts/HostListPlatform.h"

#include <QByteArray>
#include <QtGlobal>
#include <algorithm>
#include <cstdlib>
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
                    "otherwise through a raw socket, which needs root or the capability on a\n"
                    "copy in a folder only root can write:\n"
                    "  sudo setcap cap_net_raw+p /usr/local/bin/vexlo\n\n"
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

bool LacksDisplay(const char* APlatform, const char* ADisplay, const char* AWaylandDisplay) {
    const auto Set = [](const char* AValue) { return AValue != nullptr && *AValue != '\0'; };
    if (Set(ADisplay) || Set(AWaylandDisplay)) {
        return false;
    }
    // "xcb;offscreen" falls back to the next entry, and "xcb:option" carries options.
    std::string_view Rest = Set(APlatform) ? APlatform : "xcb";
    while (!Rest.empty()) {
        const std::string_view Entry = Rest.substr(0, Rest.find(';'));
        Rest.remove_prefix(std::min(Rest.size(), Entry.size() + 1));
        const std::string_view Name = Entry.substr(0, Entry.find(':'));
        if (Name != "xcb" && !Name.starts_with("wayland")) {
            return false;
        }
    }
    return true;
}

std::optional<int> ReportMissingDisplay(std::ostream& AErr) {
    if (!LacksDisplay(std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"),
                      std::getenv("WAYLAND_DISPLAY"))) {
        return std::nullopt;
    }
    AErr << "vexlo: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set)\n";
    return 1;
}

void KeepProgramNameOnly(int& AArgc, char** AArgv) {
    // A title of Qt's choosing would hide this copy from the next one, and a geometry would
    // move the window off its place.
    AArgc = std::min(AArgc, 1);
    AArgv[AArgc] = nullptr;
}

void PrepareProcess() {
    Privilege::DropAtStart();
    HostListPlatform::KeepRunningAtFileSizeLimit();
    if (Privilege::SecureExecution()) {
        Privilege::ForgetUserPluginChoices();
        Privilege::KeepOnlySafeEnvironment();
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
