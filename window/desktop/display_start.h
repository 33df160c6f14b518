#pragma once

#include <memory>
#include <string>
#include <vector>

#include "clipboard/clipboard.h"
#include "clipboard/contract/clipboard_limits.h"

namespace quirlomat {

// What the program settles about its display around the start of Qt, and the ways the
// password can outlive the program there. Each platform has a file of its own:
// display_start_unix.cpp (X11 and Wayland), display_start_windows.cpp.
class DisplayStart {
public:
    // Before Qt starts: chooses where the window is drawn. False once the user has been told
    // that there is no display to draw on (unless quiet); the program then ends with status 1.
    bool Choose(bool quiet = false);

    // Once Qt runs: undoes what the choice set for this process alone.
    void QtStarted() const;

    // The ways to hand the password over, best first, by what the session offers;
    // programPath is the program's own executable, beside which its keepers lie. Every way
    // honours limits, or refuses the text where the session cannot keep them.
    std::vector<std::unique_ptr<Clipboard>> HandOffWays(const std::string& programPath,
                                                        const ClipboardLimits& limits = {}) const;

private:
    bool forcedXcb_ = false;       // Qt was told to draw through X
    bool waylandDisplay_ = false;  // WAYLAND_DISPLAY names a compositor
    bool xDisplay_ = false;        // the X display opens
};

// Ends the program with status once the event loop is over.
[[noreturn]] void LeaveProgram(int status);

}  // namespace quirlomat
