#include <memory>

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QString>
#include <QTimer>

#include "clipboard/hand_off_chain.h"
#include "secret/hardening.h"
#include "system/system_random_source.h"
#include "window/desktop/application_icon.h"
#include "window/desktop/display_start.h"
#include "window/desktop/message_box_error_report.h"
#include "window/desktop/qt_program_end.h"
#include "window/desktop/taskbar.h"
#include "window/dialog/form1.h"

int main(int argc, char* argv[]) {
    quirlomat::HardenProcess();
    quirlomat::DisplayStart display;
    if (!display.Choose()) {
        return 1;
    }

    QCoreApplication::setApplicationName(QStringLiteral("Quirlomat"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUIRLOMAT_VERSION_TEXT));
    QGuiApplication::setDesktopFileName(QStringLiteral(QUIRLOMAT_APP_ID));
    QApplication application(argc, argv);
    display.QtStarted();
    // Every window of the program, the error report's too, shows the icon.
    QApplication::setWindowIcon(quirlomat::ApplicationIcon());

    auto clipboard = std::make_unique<quirlomat::HandOffChain>(display.HandOffWays(
        QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString()));
    quirlomat::SystemRandomSource random;
    quirlomat::MessageBoxErrorReport errorReport;
    quirlomat::QtProgramEnd programEnd(*clipboard);

    quirlomat::Form1 form({random, *clipboard, errorReport, programEnd});
    errorReport.SetParent(&form);
    form.Form_Load();
    quirlomat::KeepOffTaskbar(form);
    form.show();
    // Once the window is on its way to the screen, the keeper starts and connects, so that a
    // press has only the password left to hand over.
    QTimer::singleShot(0, [&clipboard] { clipboard->Prepare(); });
    quirlomat::LeaveProgram(QApplication::exec());
}
