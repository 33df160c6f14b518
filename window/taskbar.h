#pragma once

#include <QWidget>

namespace quirlomat {

// Asks the window manager to give window no taskbar button (_NET_WM_STATE_SKIP_TASKBAR).
// Call before the window is first shown: a mapped window's state belongs to the window
// manager. Does nothing on other platforms than X11.
void KeepOffTaskbar(QWidget& window);

}  // namespace quirlomat
