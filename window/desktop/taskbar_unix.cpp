#include <cstdlib>
#include <memory>

#include <QGuiApplication>
#include <xcb/xcb.h>

#include "window/desktop/taskbar.h"

namespace quirlomat {

namespace {
// libxcb's replies are malloc's memory, which the caller frees.
struct FreeReply {
    void operator()(void* reply) const noexcept { std::free(reply); }
};
using AtomReply = std::unique_ptr<xcb_intern_atom_reply_t, FreeReply>;
}  // namespace

// X11 asks the window manager (_NET_WM_STATE_SKIP_TASKBAR); Wayland has no such request.
void KeepOffTaskbar(QWidget& window) {
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr) {
        return;
    }
    xcb_connection_t* connection = x11->connection();
    // Both requests go out before either answer is awaited: one round trip, not two.
    const xcb_intern_atom_cookie_t stateCookie =
        xcb_intern_atom(connection, 0, sizeof "_NET_WM_STATE" - 1, "_NET_WM_STATE");
    const xcb_intern_atom_cookie_t skipCookie = xcb_intern_atom(
        connection, 0, sizeof "_NET_WM_STATE_SKIP_TASKBAR" - 1, "_NET_WM_STATE_SKIP_TASKBAR");
    const AtomReply state(xcb_intern_atom_reply(connection, stateCookie, nullptr));
    const AtomReply skip(xcb_intern_atom_reply(connection, skipCookie, nullptr));
    if (!state || !skip) {
        return;
    }
    // winId() creates the native window if need be. When Qt maps it, it reads the state
    // already present and adds its own to it, so the entry set here survives the mapping.
    const auto id = static_cast<xcb_window_t>(window.winId());
    xcb_change_property(connection, XCB_PROP_MODE_APPEND, id, state->atom, XCB_ATOM_ATOM, 32, 1,
                        &skip->atom);
    xcb_flush(connection);
}

}  // namespace quirlomat
