#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QString>
#include <QTimer>

#include "clipboard/hand_off_chain.h"
#include "clipboard/limit_options.h"
#include "secret/hardening.h"
#include "system/system_random_source.h"
#include "window/desktop/application_icon.h"
#include "window/desktop/display_start.h"
#include "window/desktop/message_box_error_report.h"
#include "window/desktop/qt_program_end.h"
#include "window/desktop/settings_file.h"
#include "window/desktop/taskbar.h"
#include "window/dialog/form1.h"

namespace {

// Bad input ends the program before any clipboard is touched: on standard error, and in a
// message box where there is a display to show one on.
[[noreturn]] void RefuseInput(const std::string& message, int argc, char* argv[]) {
    std::fprintf(stderr, "quirlomat: %s\n", message.c_str());
    quirlomat::DisplayStart display;
    if (display.Choose(/*quiet=*/true)) {
        QApplication application(argc, argv);
        display.QtStarted();
        QApplication::setWindowIcon(quirlomat::ApplicationIcon());
        quirlomat::MessageBoxErrorReport report;
        report.Show(message);
    }
    quirlomat::LeaveProgram(quirlomat::kUsageError);
}

}  // namespace

int main(int argc, char* argv[]) {
    quirlomat::HardenProcess();
    // Options first: --help and --version need no display, and no limit the user set is lost.
    const quirlomat::CommandLine line = quirlomat::ParseCommandLine(
        std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
    if (line.error.empty() && line.help) {
        std::fputs(quirlomat::UsageText(quirlomat::SettingsFilePath()).c_str(), stdout);
        quirlomat::LeaveProgram(0);
    }
    if (line.error.empty() && line.version) {
        std::fputs("quirlomat " QUIRLOMAT_VERSION_TEXT "\n", stdout);
        quirlomat::LeaveProgram(0);
    }
    if (!line.error.empty()) {
        RefuseInput(line.error + " Mehr mit --help.", argc, argv);
    }
    const quirlomat::SettingsFile settings = quirlomat::ReadSettingsFile();
    if (!settings.read.error.empty()) {
        RefuseInput(settings.read.error, argc, argv);
    }
    const quirlomat::ClipboardLimits limits =
        quirlomat::MergeLimits(line.limits, settings.read.limits);

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
        QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString(), limits));
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
