#include "window/desktop/display_platform.h"

#include <cstdlib>
#include <string_view>

namespace quirlomat {

namespace {

bool IsSet(const std::optional<std::string>& variable) {
    return variable.has_value() && !variable->empty();
}

std::optional<std::string> Variable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string(value);
}

}  // namespace

DisplayPlatform ChooseDisplayPlatform(const DisplayEnvironment& environment) {
    if (IsSet(environment.qpaPlatform)) {
        return DisplayPlatform::kAsConfigured;
    }
    if (IsSet(environment.display)) {
        return DisplayPlatform::kXcb;
    }
    if (IsSet(environment.waylandDisplay)) {
        return DisplayPlatform::kQtChooses;
    }
    return DisplayPlatform::kNone;
}

bool UsesXcb(DisplayPlatform platform, const DisplayEnvironment& environment) {
    if (platform == DisplayPlatform::kXcb) {
        return true;
    }
    if (platform != DisplayPlatform::kAsConfigured) {
        return false;
    }
    // A list such as "wayland;xcb" is tried in order, and a plug-in may carry options after
    // a colon ("xcb:foo"); only the first name counts.
    const std::string_view configured = *environment.qpaPlatform;
    const std::string_view first = configured.substr(0, configured.find_first_of(";:"));
    return first == "xcb";
}

DisplayEnvironment CurrentDisplayEnvironment() {
    return {Variable("QT_QPA_PLATFORM"), Variable("DISPLAY"), Variable("WAYLAND_DISPLAY")};
}

}  // namespace quirlomat
