#include "system/hand_off.h"

namespace quirlomat {

std::vector<HandOff> HandOffOrder(const Session& session) {
    const bool x11 = session.qtPlatform == "xcb";
    const bool wayland = session.qtPlatform.substr(0, 7) == "wayland";
    if (!x11 && !wayland) {
        // Windows and macOS keep clipboard data themselves.
        return {HandOff::kWindowSystem};
    }
    std::vector<HandOff> order;
    if (session.waylandDisplay) {
        order.push_back(HandOff::kWaylandKeeper);
    }
    if (session.xDisplay || x11) {
        order.push_back(HandOff::kX11Keeper);
    }
    // Only a Wayland connection of Qt's own can own the Wayland selection; a program drawing
    // through XWayland has a keeper, or the error.
    if (wayland) {
        order.push_back(HandOff::kThisProcess);
    }
    return order;
}

}  // namespace quirlomat
