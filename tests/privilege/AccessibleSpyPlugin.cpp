// An accessibility plugin for the window's class, as a user could plant it in accessible/
// beside the program: Qt looks there for the class of every widget it announces, the window
// at its first show among them, whatever the start. When the program loads it, it writes
// down what it could borrow: the capabilities the process holds, whether it can put the
// raw-socket one in force, and whether it can open a packet socket, which reads and forges
// every packet of the machine, and what the raw-socket helper does for it. It reports on
// stderr: a raised start keeps no variable of the test's own.
#include "tests/privilege/HelperProbe.h"

#include <QAccessiblePlugin>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <linux/if_ether.h>
#include <string>
#include <sys/capability.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::string StatusLine(const char* AName) {
    std::ifstream Status("/proc/self/status");
    for (std::string Line; std::getline(Status, Line);) {
        if (Line.starts_with(AName)) {
            return Line.substr(0, Line.find('\t')) + Line.substr(Line.find('\t') + 1);
        }
    }
    return std::string(AName) + "?";
}

std::string TryRaise() {
    cap_t Caps = ::cap_get_proc();
    cap_value_t Raw = CAP_NET_RAW;
    const bool Raised = Caps != nullptr &&
                        ::cap_set_flag(Caps, CAP_EFFECTIVE, 1, &Raw, CAP_SET) == 0 &&
                        ::cap_set_proc(Caps) == 0;
    ::cap_free(Caps);
    return Raised ? "raised" : "refused";
}

std::string TryPacketSocket() {
    const int Fd = ::socket(AF_PACKET, SOCK_RAW, htons(ETH_P_ALL));
    if (Fd < 0) {
        return "refused";
    }
    ::close(Fd);
    return "opened";
}

// At load, before Qt asks anything of the plugin: a plugin's code runs from here on.
const bool Reported = [] {
    std::fprintf(stderr, "planted plugin: %s %s raise:%s packet:%s %s\n",
                 StatusLine("CapPrm:").c_str(), StatusLine("CapEff:").c_str(), TryRaise().c_str(),
                 TryPacketSocket().c_str(), HelperProbe::Probe().c_str());
    return true;
}();

} // namespace

class TAccessibleSpyPlugin : public QAccessiblePlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QAccessibleFactoryInterface_iid FILE "AccessibleSpyPlugin.json")

  public:
    // None: Qt goes on with the interface it has for a plain widget.
    QAccessibleInterface* create(const QString&, QObject*) override { return nullptr; }
};

#include "AccessibleSpyPlugin.moc"
