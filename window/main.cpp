#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QString>
#include <QTimer>

#include "secret/hardening.h"
#include "system/clipboard.h"
#include "system/hand_off_chain.h"
#include "system/system_random_source.h"
#include "window/application_icon.h"
#include "window/form1.h"
#include "window/message_box_error_report.h"
#include "window/qt_clipboard.h"
#include "window/qt_program_end.h"
#include "window/taskbar.h"

#if !defined(_WIN32)
#include <xcb/xcb.h>

#include "system/hand_off.h"
#include "system/keeper_clipboard.h"
#include "window/display_platform.h"
#include "window/qt_selection_owner.h"
#endif

namespace {

#if defined(_WIN32)

// Windows keeps the clipboard's data after the program has ended: the window system is the
// only way there.
std::vector<std::unique_ptr<quirlomat::Clipboard>> HandOffWays() {
    std::vector<std::unique_ptr<quirlomat::Clipboard>> ways;
    ways.push_back(std::make_unique<quirlomat::QtClipboard>());
    return ways;
}

#else

using quirlomat::DisplayPlatform;

// Qt treats an X display it cannot open as a fatal error and aborts the process; the user
// gets one clear line and exit status 1 instead.
bool CanOpenXDisplay() {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool usable = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);  // also frees a failed connection
    return usable;
}

void Complain(const std::string& line) {
    std::fprintf(stderr, "quirlomat: %s\n", line.c_str());
}

#endif

}  // namespace

int main(int argc, char* argv[]) {
    quirlomat::HardenProcess();

#if !defined(_WIN32)
    const quirlomat::DisplayEnvironment environment = quirlomat::CurrentDisplayEnvironment();
    const DisplayPlatform platform = quirlomat::ChooseDisplayPlatform(environment);
    if (platform == DisplayPlatform::kNone) {
        Complain("Keine grafische Anzeige gefunden (DISPLAY ist nicht gesetzt).");
        return 1;
    }
    if (quirlomat::UsesXcb(platform, environment) && !CanOpenXDisplay()) {
        if (environment.display.value_or("").empty()) {
            Complain("Keine grafische Anzeige gefunden (DISPLAY ist nicht gesetzt).");
        } else {
            Complain("Die grafische Anzeige \"" + *environment.display +
                     "\" lässt sich nicht öffnen.");
        }
        return 1;
    }
    if (platform == DisplayPlatform::kXcb) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
#endif

    QCoreApplication::setApplicationName(QStringLiteral("Quirlomat"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUIRLOMAT_VERSION_TEXT));
    QGuiApplication::setDesktopFileName(QStringLiteral(QUIRLOMAT_APP_ID));
    QApplication application(argc, argv);
    // Every window of the program, the error report's too, shows the icon.
    QApplication::setWindowIcon(quirlomat::ApplicationIcon());

#if defined(_WIN32)
    std::vector<std::unique_ptr<quirlomat::Clipboard>> ways = HandOffWays();
#else
    if (platform == DisplayPlatform::kXcb) {
        // The choice was for this process only; the keeper inherits the user's environment.
        qunsetenv("QT_QPA_PLATFORM");
    }

    const std::string program =
        QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();
    const std::string platformName = QGuiApplication::platformName().toStdString();
    quirlomat::Session session;
    session.qtPlatform = platformName;
    session.waylandDisplay = !environment.waylandDisplay.value_or("").empty();
    session.xDisplay =
        platformName == "xcb" || (!environment.display.value_or("").empty() && CanOpenXDisplay());
    std::vector<std::unique_ptr<quirlomat::Clipboard>> ways;
    for (const quirlomat::HandOff handOff : quirlomat::HandOffOrder(session)) {
        switch (handOff) {
            case quirlomat::HandOff::kWaylandKeeper:
                ways.push_back(std::make_unique<quirlomat::KeeperClipboard>(
                    quirlomat::KeeperClipboard::WaylandKeeperPathFor(program)));
                break;
            case quirlomat::HandOff::kX11Keeper:
                ways.push_back(std::make_unique<quirlomat::KeeperClipboard>(
                    quirlomat::KeeperClipboard::KeeperPathFor(program)));
                break;
            case quirlomat::HandOff::kThisProcess:
                ways.push_back(std::make_unique<quirlomat::QtSelectionOwner>());
                break;
            case quirlomat::HandOff::kWindowSystem:
                ways.push_back(std::make_unique<quirlomat::QtClipboard>());
                break;
        }
    }
#endif
    auto clipboard = std::make_unique<quirlomat::HandOffChain>(std::move(ways));
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
    const int status = QApplication::exec();
#if defined(__APPLE__)
    // There the clipboard data goes to the window system as Qt shuts down.
    return status;
#else
    // Nothing of the password is left by now: it lived in secret memory inside
    // Command1_Click, or the selection owner has wiped it, and Windows holds its own copy
    // since the clipboard was flushed. What remains is the toolkit's teardown, which Qt 6.4's
    // Wayland plug-in can deadlock in (its event thread blocked in wl_display_read_events
    // while the display waits for it); the keepers, the display servers and the Windows
    // clipboard need none of it, and a keeper still waiting for a text sees its input close.
    std::fflush(nullptr);
    std::_Exit(status);
#endif
}
