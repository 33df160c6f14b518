#pragma once

#include <QIcon>

namespace quirlomat {

// The window and application icon: a key in a chequered green frame, 32 x 32 pixels.
// Needs a QGuiApplication.
QIcon ApplicationIcon();

}  // namespace quirlomat
