#include <cstdio>
#include <cstdlib>
#include <string>

#include <QGuiApplication>
#include <QtGlobal>
#include <xcb/xcb.h>

#include "clipboard/hand_off.h"
#include "clipboard/keeper_clipboard.h"
#include "clipboard/limits_refused.h"
#include "window/desktop/compositor_copy.h"
#include "window/desktop/display_platform.h"
#include "window/desktop/display_start.h"
#include "window/desktop/qt_clipboard.h"
#include "window/desktop/qt_selection_owner.h"

namespace quirlomat {

namespace {

bool CanOpenXDisplay() {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool usable = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);  // also frees a failed connection
    return usable;
}

void Complain(const std::string& line) {
    std::fprintf(stderr, "quirlomat: %s\n", line.c_str());
}

std::unique_ptr<Clipboard> MakeWay(HandOff way, const std::string& programPath,
                                   const ClipboardLimits& limits) {
    if (KeeperProgram(way) != nullptr) {
        return std::make_unique<KeeperClipboard>(KeeperPath(way, programPath), limits);
    }
    if (way == HandOff::kThisProcess) {
        if (limits.any() && CompositorKeepsTheTextForGood()) {
            return std::make_unique<LimitsRefused>(
                "dieser Compositor (weston) behält den Text in einer eigenen Zwischenablage; "
                "--pastes und --clear-after lassen sich hier nicht einhalten");
        }
        return std::make_unique<QtSelectionOwner>(limits);
    }
    return std::make_unique<QtClipboard>();
}

}  // namespace

bool DisplayStart::Choose(bool quiet) {
    const DisplayEnvironment environment = CurrentDisplayEnvironment();
    const DisplayPlatform platform = ChooseDisplayPlatform(environment);
    const std::string display = environment.display.value_or("");
    waylandDisplay_ = !environment.waylandDisplay.value_or("").empty();
    // Qt treats an X display it cannot open as a fatal error and aborts the process; the user
    // gets one clear line and exit status 1 instead. The answer also tells whether an X11
    // keeper can serve.
    xDisplay_ = !display.empty() && CanOpenXDisplay();
    if (platform == DisplayPlatform::kNone || (UsesXcb(platform, environment) && !xDisplay_)) {
        if (quiet) {
            return false;
        }
        Complain(display.empty()
                     ? "Keine grafische Anzeige gefunden (DISPLAY ist nicht gesetzt)."
                     : "Die grafische Anzeige \"" + display + "\" lässt sich nicht öffnen.");
        return false;
    }
    forcedXcb_ = platform == DisplayPlatform::kXcb;
    if (forcedXcb_) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    return true;
}

void DisplayStart::QtStarted() const {
    if (forcedXcb_) {
        // The choice was for this process only; the keeper inherits the user's environment.
        qunsetenv("QT_QPA_PLATFORM");
    }
}

std::vector<std::unique_ptr<Clipboard>> DisplayStart::HandOffWays(
    const std::string& programPath, const ClipboardLimits& limits) const {
    const std::string platformName = QGuiApplication::platformName().toStdString();
    Session session;
    session.qtPlatform = platformName;
    session.waylandDisplay = waylandDisplay_;
    session.xDisplay = platformName == "xcb" || xDisplay_;
    std::vector<std::unique_ptr<Clipboard>> ways;
    for (const HandOff way : HandOffOrder(session)) {
        ways.push_back(MakeWay(way, programPath, limits));
    }
    return ways;
}

void LeaveProgram(int status) {
    // Nothing of the password is left by now: it lived in secret memory inside
    // Command1_Click, or the selection owner has wiped it. What remains is the toolkit's
    // teardown, which Qt 6.4's Wayland plug-in can deadlock in (its event thread blocked in
    // wl_display_read_events while the display waits for it); the keepers and the display
    // servers need none of it, and a keeper still waiting for a text sees its input close.
    std::fflush(nullptr);
    std::_Exit(status);
}

}  // namespace quirlomat
