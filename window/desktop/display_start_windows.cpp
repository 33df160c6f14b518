#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "clipboard/limits_refused.h"
#include "window/desktop/cleared_clipboard_windows.h"
#include "window/desktop/display_start.h"
#include "window/desktop/qt_clipboard.h"

namespace quirlomat {

bool DisplayStart::Choose(bool) {
    return true;
}

void DisplayStart::QtStarted() const {}

// Windows keeps the clipboard's data after the program has ended: the window system is the
// only way there. It renders a format once and keeps it, so nothing on this side could count
// the pastes: that limit is refused rather than pretended. A time it can keep, by staying
// until then and taking its own text back.
std::vector<std::unique_ptr<Clipboard>> DisplayStart::HandOffWays(
    const std::string&, const ClipboardLimits& limits) const {
    std::vector<std::unique_ptr<Clipboard>> ways;
    if (limits.pastes != 0) {
        ways.push_back(std::make_unique<LimitsRefused>(
            "unter Windows kann Quirlomat die Zahl der Einfügungen (--pastes) nicht zählen"));
        return ways;
    }
    if (limits.clearAfterSeconds != 0) {
        ways.push_back(
            std::make_unique<ClearedClipboard>(std::chrono::seconds(limits.clearAfterSeconds)));
        return ways;
    }
    ways.push_back(std::make_unique<QtClipboard>());
    return ways;
}

void LeaveProgram(int status) {
    // Windows holds its own copy of the text since the clipboard was flushed; Qt's teardown
    // has nothing left to do for it.
    std::fflush(nullptr);
    std::_Exit(status);
}

}  // namespace quirlomat
