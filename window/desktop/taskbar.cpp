#include "window/desktop/taskbar.h"

#include <QGuiApplication>
#include <QWindow>

#if QT_CONFIG(xcb)
#include <cstdlib>
#include <memory>

#include <xcb/xcb.h>
#endif

namespace quirlomat {

#if QT_CONFIG(xcb)
namespace {
// libxcb's replies are malloc's memory, which the caller frees.
struct FreeReply {
    void operator()(void* reply) const noexcept { std::free(reply); }
};
using AtomReply = std::unique_ptr<xcb_intern_atom_reply_t, FreeReply>;
}  // namespace
#endif

void KeepOffTaskbar([[maybe_unused]] QWidget& window) {
#if defined(Q_OS_WIN)
    // Windows gives a taskbar button to every top-level window that has no owner (and is no
    // tool window, whose frame would look different). An owner that is never shown takes the
    // button away and nothing else; it lives as long as the application.
    auto* owner = new QWindow;
    QObject::connect(qApp, &QObject::destroyed, owner, [owner] { delete owner; });
    owner->create();
    window.winId();  // the native window, whose owner the transient parent becomes
    window.windowHandle()->setTransientParent(owner);
#elif QT_CONFIG(xcb)
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
#endif
}

}  // namespace quirlomat
