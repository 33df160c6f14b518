#pragma once

#include <cstdint>

#include <xcb/xcb.h>

#include "clipboard/contract/limit_watch.h"
#include "keeper/x11/x_connection.h"

namespace quirlomat::keeper::x11 {

// The user's limits as the X11 keeper keeps them: which requests are pastes, and when the
// password must be gone. A paste is a request for a text form; the list of forms, the time
// stamp and the secret hint alone never are. Nor is the compositor's own reading: Mutter
// reads the text of every new owner at once, through its X connection, for a copy of its
// own, and weston's window manager does the same for weston's clipboard; that first read is
// not a reader pasting, and with a limit set it is refused, so that no copy outlives it.
class PasteLimit {
public:
    // Reads who the window manager is (the client behind the root's
    // _NET_SUPPORTING_WM_CHECK window), for telling the compositor's own copy apart.
    PasteLimit(XConnection& x, ClipboardLimits limits, Clock::time_point start);

    // Whether requestor's request for target is to be served; counts it.
    bool Admit(xcb_atom_t target, xcb_window_t requestor, Clock::time_point now);

    Clock::time_point GoneAt() const { return watch_.GoneAt(); }

private:
    bool IsText(xcb_atom_t target) const;

    XConnection& x_;
    LimitWatch watch_;
    Clock::time_point start_;
    std::uint32_t windowManager_ = 0;  // its client's id base; 0 when there is none
    bool windowManagerHasRead_ = false;
};

}  // namespace quirlomat::keeper::x11
