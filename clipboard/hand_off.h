#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quirlomat {

// How the password gets onto the clipboard so that it outlives the program.
enum class HandOff : std::uint8_t {
    kWaylandKeeper,  // a keeper owns the selection through the compositor's data-control
                     // protocol, where Wayland clipboard managers see the secret hint and
                     // XWayland passes the text on to X clients
    kX11Keeper,      // X11, also under XWayland: a selection lives only as long as its owner,
                     // so a keeper process owns it on the program's behalf
    kThisProcess,    // Wayland without data-control and without X: the program itself stays,
                     // windowless, the owner of the selection it set through Qt
    kWindowSystem,   // the window system keeps clipboard data by itself (Qt's clipboard)
};

// What the session offers, found out before the choice.
struct Session {
    bool waylandDisplay = false;  // WAYLAND_DISPLAY names a compositor
    bool xDisplay = false;        // an X display can be opened
    std::string_view qtPlatform;  // the Qt platform plug-in the window runs on
};

// The hand-offs to try, best first, chosen by what the session offers rather than by the
// platform Qt draws on; each that fails falls to the next.
std::vector<HandOff> HandOffOrder(const Session& session);

// The name of the keeper program that serves way, or null where the way needs none.
const char* KeeperProgram(HandOff way);

// Where that keeper lies for the program at programPath (its own executable): in the
// keepers' folder relative to the program, which the build tree, an install prefix and the
// package share. Empty where the way needs no keeper.
std::string KeeperPath(HandOff way, const std::string& programPath);

}  // namespace quirlomat
