#pragma once

#include <optional>
#include <string>

namespace quirlomat {

// How the program reaches the screen, decided before Qt starts from the same environment
// variables Qt reads. Unset and empty variables count alike.
struct DisplayEnvironment {
    std::optional<std::string> qpaPlatform;     // QT_QPA_PLATFORM
    std::optional<std::string> display;         // DISPLAY
    std::optional<std::string> waylandDisplay;  // WAYLAND_DISPLAY
};

enum class DisplayPlatform {
    AsConfigured,  // the user chose a Qt platform; it is respected
    Xcb,           // X11, also under XWayland: only there does the clipboard keeper serve
    QtChooses,     // Wayland without X: Qt picks its own plug-in
    None,          // nothing to show a window on
};

DisplayPlatform ChooseDisplayPlatform(const DisplayEnvironment& environment);

// Whether Qt will go for X11 first, so that the display must be checked before Qt aborts on
// an unreachable one.
bool UsesXcb(DisplayPlatform platform, const DisplayEnvironment& environment);

// The environment of this process.
DisplayEnvironment CurrentDisplayEnvironment();

}  // namespace quirlomat
