#include "keeper/x11/paste_limit.h"

#include <cstring>

namespace quirlomat::keeper::x11 {

namespace {

// The compositor reads as soon as it hears of the new owner, within milliseconds; a reader
// of the window manager's client after this is a Wayland client pasting through it.
constexpr std::chrono::milliseconds kCompositorReadsWithin{500};

xcb_window_t WindowManagerCheck(xcb_connection_t* connection) {
    static constexpr char kName[] = "_NET_SUPPORTING_WM_CHECK";
    const Reply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 1, static_cast<std::uint16_t>(std::strlen(kName)), kName),
        nullptr));
    if (!atom || atom->atom == XCB_ATOM_NONE) {
        return XCB_WINDOW_NONE;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const Reply<xcb_get_property_reply_t> property(xcb_get_property_reply(
        connection,
        xcb_get_property(connection, 0, screen->root, atom->atom, XCB_ATOM_WINDOW, 0, 1), nullptr));
    if (!property || property->format != 32 || xcb_get_property_value_length(property.get()) < 4) {
        return XCB_WINDOW_NONE;
    }
    return *static_cast<const xcb_window_t*>(xcb_get_property_value(property.get()));
}

}  // namespace

PasteLimit::PasteLimit(XConnection& x, ClipboardLimits limits, Clock::time_point start)
    : x_(x), watch_(limits, start), start_(start) {
    const xcb_window_t check = WindowManagerCheck(x.get());
    windowManager_ = check == XCB_WINDOW_NONE ? 0 : x.ClientOf(check);
}

bool PasteLimit::IsText(xcb_atom_t target) const {
    const Atoms& atoms = x_.atoms();
    return target == atoms.utf8String || target == atoms.textPlainUtf8 || target == atoms.text ||
           target == XCB_ATOM_STRING;
}

bool PasteLimit::Admit(xcb_atom_t target, xcb_window_t requestor, Clock::time_point now) {
    const bool text = IsText(target);
    if (!text) {
        return now < watch_.GoneAt();
    }
    if (windowManager_ != 0 && x_.ClientOf(requestor) == windowManager_ && !windowManagerHasRead_ &&
        now < start_ + kCompositorReadsWithin) {
        // Refused: the compositor's copy would serve the password after the limit (Mutter
        // serves it once the owner has gone, weston once the selection is empty), and a copy
        // it never got it cannot serve.
        windowManagerHasRead_ = true;
        return false;
    }
    return watch_.Admit(now);
}

}  // namespace quirlomat::keeper::x11
