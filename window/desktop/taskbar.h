#pragma once

#include <QWidget>

namespace quirlomat {

// Asks the window system to give window no taskbar button: on X11 the window manager
// (_NET_WM_STATE_SKIP_TASKBAR), on Windows through an owner window. Call before the window is
// first shown: a mapped window's state belongs to the window manager. Does nothing where the
// window system has no such request (Wayland). One file for each platform: taskbar_unix.cpp,
// taskbar_windows.cpp.
void KeepOffTaskbar(QWidget& window);

}  // namespace quirlomat
