#include "clipboard/hand_off.h"

#include <gtest/gtest.h>

namespace quirlomat {
namespace {

struct Case {
    Session session;
    std::vector<HandOff> order;
};

TEST(HandOffOrder, FollowsWhatTheSessionOffersNotWhereQtDraws) {
    using enum HandOff;
    const Case cases[] = {
        // Plain X11.
        {{false, true, "xcb"}, {kX11Keeper}},
        // GNOME, KDE, sway with XWayland and Qt on X11, as the program chooses by default.
        {{true, true, "xcb"}, {kWaylandKeeper, kX11Keeper}},
        // The same with QT_QPA_PLATFORM=wayland.
        {{true, true, "wayland"}, {kWaylandKeeper, kX11Keeper, kThisProcess}},
        // Wayland without X: the program itself is the last resort.
        {{true, false, "wayland"}, {kWaylandKeeper, kThisProcess}},
        {{true, false, "wayland-egl"}, {kWaylandKeeper, kThisProcess}},
        // Windows and macOS keep clipboard data themselves, whatever the variables say.
        {{false, false, "windows"}, {kWindowSystem}},
        {{true, true, "cocoa"}, {kWindowSystem}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HandOffOrder(c.session), c.order)
            << c.session.qtPlatform << " wayland=" << c.session.waylandDisplay
            << " x=" << c.session.xDisplay;
    }
}

}  // namespace
}  // namespace quirlomat
