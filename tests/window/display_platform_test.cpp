#include "window/display_platform.h"

#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace quirlomat {
namespace {

TEST(DisplayPlatform, FollowsTheUserThenX11ThenWayland) {
    const std::optional<std::string> unset;
    struct Case {
        DisplayEnvironment environment;
        DisplayPlatform platform;
        bool xcb;
    };
    const Case cases[] = {
        {{unset, ":0", unset}, DisplayPlatform::Xcb, true},
        // XWayland: X11 wins, so that the clipboard keeper serves the password.
        {{unset, ":0", "wayland-0"}, DisplayPlatform::Xcb, true},
        {{unset, unset, "wayland-0"}, DisplayPlatform::QtChooses, false},
        {{unset, "", "wayland-0"}, DisplayPlatform::QtChooses, false},
        {{unset, unset, unset}, DisplayPlatform::None, false},
        {{"", "", ""}, DisplayPlatform::None, false},
        {{"offscreen", ":0", unset}, DisplayPlatform::AsConfigured, false},
        {{"wayland", ":0", "wayland-0"}, DisplayPlatform::AsConfigured, false},
        {{"xcb", unset, unset}, DisplayPlatform::AsConfigured, true},
        {{"xcb:nomitshm", ":1", unset}, DisplayPlatform::AsConfigured, true},
        {{"xcb;wayland", ":1", unset}, DisplayPlatform::AsConfigured, true},
        {{"wayland;xcb", ":1", unset}, DisplayPlatform::AsConfigured, false},
        {{"xcbx", ":1", unset}, DisplayPlatform::AsConfigured, false},
    };
    for (const Case& c : cases) {
        const DisplayPlatform platform = ChooseDisplayPlatform(c.environment);
        const std::string label = c.environment.qpaPlatform.value_or("<unset>") + " / " +
                                  c.environment.display.value_or("<unset>") + " / " +
                                  c.environment.waylandDisplay.value_or("<unset>");
        EXPECT_EQ(platform, c.platform) << label;
        EXPECT_EQ(UsesXcb(platform, c.environment), c.xcb) << label;
    }
}

}  // namespace
}  // namespace quirlomat
