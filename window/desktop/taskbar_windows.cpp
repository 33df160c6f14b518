#include <QGuiApplication>
#include <QWindow>

#include "window/desktop/taskbar.h"

namespace quirlomat {

// Windows gives a taskbar button to every top-level window that has no owner (and is no tool
// window, whose frame would look different). An owner that is never shown takes the button
// away and nothing else; it lives as long as the application.
void KeepOffTaskbar(QWidget& window) {
    auto* owner = new QWindow;
    QObject::connect(qApp, &QObject::destroyed, owner, [owner] { delete owner; });
    owner->create();
    window.winId();  // the native window, whose owner the transient parent becomes
    window.windowHandle()->setTransientParent(owner);
}

}  // namespace quirlomat
