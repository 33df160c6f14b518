#pragma once

#include <memory>
#include <string>

#include "support/command.h"

namespace quirlomat::testing {

// openbox's start-up reads some of the server's events into a queue of its own, and its main
// loop looks at that queue only when the next event arrives from the server. It announces
// itself (_NET_SUPPORTING_WM_CHECK) before that, so a window mapped in between can wait,
// unmapped and unmanaged, until something else happens on the display: on a loaded machine
// the dialog did not appear within a minute. openbox is therefore given a start-up command,
// which it runs just before its main loop and which sets kWindowManagerRunning on the root
// window; only then is it up. The property change is itself an event that wakes openbox.
inline constexpr char kWindowManagerRunning[] = "_QUIRLOMAT_TEST_WM_RUNNING";

// Starts openbox on display and waits, up to 60 s, until it runs its main loop; null when it
// did not get there (it is then ended).
std::unique_ptr<RunningProgram> StartOpenbox(const std::string& display);

}  // namespace quirlomat::testing
