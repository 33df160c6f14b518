#include "window/qt_program_end.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QWindow>

namespace quirlomat {

void QtProgramEnd::End() {
    // Hidden windows take no input, so nothing the user does while the event loop winds down
    // can start another event procedure.
    const QWindowList windows = QGuiApplication::topLevelWindows();
    for (QWindow* window : windows) {
        window->hide();
    }
    if (clipboard_.custody() == Custody::kThisProcess) {
        // The program stays, windowless, until the clipboard ends the event loop.
        QGuiApplication::setQuitOnLastWindowClosed(false);
        return;
    }
    QCoreApplication::exit(0);
}

}  // namespace quirlomat
