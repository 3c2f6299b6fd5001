#include "app/Guarded.h"

#include "app/StatusDisplay.h"
#include "net/IdException.h"

#include <cstdio>
#include <exception>
#include <utility>

namespace ErrorReport {

namespace {

ErrorReport::THandler& Installed() {
    static ErrorReport::THandler Handler;
    return Handler;
}

} // namespace

THandler Install(THandler AHandler) {
    return std::exchange(Installed(), std::move(AHandler));
}

std::optional<std::string> CurrentMessage() {
    try {
        throw;
    } catch (const EIdSilentException&) {
        // Silent by design: the operation is over and nothing needs saying.
        return std::nullopt;
    } catch (const Exception& E) {
        return E.Message();
    } catch (const std::exception& E) {
        return std::string(E.what());
    } catch (...) {
        return std::string("Unknown error");
    }
}

void ReportCurrent() {
    const std::optional<std::string> Message = CurrentMessage();
    if (Installed()) {
        Installed()(Message);
        return;
    }
    // No application object of ours (a benchmark, a test of one widget): the text still goes
    // somewhere a developer sees it, and the program goes on as it would after the box.
    if (Message) {
        std::fprintf(stderr, "%s\n", ErrorBoxText(*Message).c_str());
    }
}

} // namespace ErrorReport
