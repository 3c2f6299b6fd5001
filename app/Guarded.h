#pragma once
// Exceptions must not cross Qt's event code: every handler that Qt calls runs through
// Guarded(), which hands what it raises to the report that the application object installed.
// A widget needs nothing more than this header, whichever application object it runs under.
#include <functional>
#include <optional>
#include <string>

namespace ErrorReport {

// Called from inside a catch block with the text to show; none for an exception that is
// silent by design.
using THandler = std::function<void(const std::optional<std::string>& AMessage)>;

// Installs AHandler for every later report and gives back the one it replaces, so that its
// owner can put that back when it goes. An empty handler restores the plain fallback, which
// writes the text to the error output.
THandler Install(THandler AHandler);

// The message of the exception being handled, as the error box shows it before its "."; none
// for a silent one. Call only from a catch block.
std::optional<std::string> CurrentMessage();

// Reports the exception being handled; call only from a catch block.
void ReportCurrent();

} // namespace ErrorReport

template <class THandler> void Guarded(THandler&& AHandler) {
    try {
        AHandler();
    } catch (...) {
        ErrorReport::ReportCurrent();
    }
}
