#pragma once

#include <functional>

#include <QTimer>

#include "clipboard/contract/clipboard_limits.h"
#include "clipboard/contract/limit_watch.h"

namespace quirlomat {

// The user's limits as the program's own windowless owner keeps them, on the GUI thread: Qt
// asks the clipboard data for a form each time a reader pastes, and that is all it tells of
// the reader, so a paste is every request for a text form within a second of the first of
// that paste. The compositor's own read of a new owner's text (Mutter reads it at once, for
// a copy of its own) is the first request within moments of taking the clipboard; it is not
// a paste, and it is refused: the copy would outlive every limit.
class OwnerLimits {
public:
    // gone: called once a limit is reached (from the event loop).
    OwnerLimits(const ClipboardLimits& limits, std::function<void()> gone);
    OwnerLimits(const OwnerLimits&) = delete;
    OwnerLimits& operator=(const OwnerLimits&) = delete;

    // A reader asks for a text form now: whether it is served.
    bool Admit();

private:
    void Arm();

    keeper::LimitWatch watch_;
    keeper::Clock::time_point start_;
    bool compositorHasRead_ = false;
    QTimer timer_;
    std::function<void()> gone_;
};

}  // namespace quirlomat
