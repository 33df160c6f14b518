#include "window/desktop/display_platform.h"

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
        {{unset, ":0", unset}, DisplayPlatform::kXcb, true},
        // XWayland: X11 wins, so that the clipboard keeper serves the password.
        {{unset, ":0", "wayland-0"}, DisplayPlatform::kXcb, true},
        {{unset, unset, "wayland-0"}, DisplayPlatform::kQtChooses, false},
        {{unset, "", "wayland-0"}, DisplayPlatform::kQtChooses, false},
        {{unset, unset, unset}, DisplayPlatform::kNone, false},
        {{"", "", ""}, DisplayPlatform::kNone, false},
        {{"offscreen", ":0", unset}, DisplayPlatform::kAsConfigured, false},
        {{"wayland", ":0", "wayland-0"}, DisplayPlatform::kAsConfigured, false},
        {{"xcb", unset, unset}, DisplayPlatform::kAsConfigured, true},
        {{"xcb:nomitshm", ":1", unset}, DisplayPlatform::kAsConfigured, true},
        {{"xcb;wayland", ":1", unset}, DisplayPlatform::kAsConfigured, true},
        {{"wayland;xcb", ":1", unset}, DisplayPlatform::kAsConfigured, false},
        {{"xcbx", ":1", unset}, DisplayPlatform::kAsConfigured, false},
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
