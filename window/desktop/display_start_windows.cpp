#include <cstdio>
#include <cstdlib>

#include "window/desktop/display_start.h"
#include "window/desktop/qt_clipboard.h"

namespace quirlomat {

bool DisplayStart::Choose() {
    return true;
}

void DisplayStart::QtStarted() const {}

// Windows keeps the clipboard's data after the program has ended: the window system is the
// only way there.
std::vector<std::unique_ptr<Clipboard>> DisplayStart::HandOffWays(const std::string&) const {
    std::vector<std::unique_ptr<Clipboard>> ways;
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
