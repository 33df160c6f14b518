#include "window/desktop/qt_program_end.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QWindow>

namespace quirlomat {

void QtProgramEnd::End() {
    // Hidden windows take no input, so nothing the user does while the event loop winds down
    // can start another event procedure.
    const bool stays = clipboard_.custody() == Custody::kThisProcess;
    if (stays) {
        // The program stays, windowless, until the clipboard ends the event loop; hiding the
        // last window must not end it first.
        QGuiApplication::setQuitOnLastWindowClosed(false);
    }
    const QWindowList windows = QGuiApplication::topLevelWindows();
    for (QWindow* window : windows) {
        window->hide();
    }
    if (!stays) {
        QCoreApplication::exit(0);
    }
}

}  // namespace quirlomat
