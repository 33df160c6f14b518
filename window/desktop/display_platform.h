#pragma once

#include <cstdint>
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

enum class DisplayPlatform : std::uint8_t {
    kAsConfigured,  // the user chose a Qt platform; it is respected
    kXcb,           // X11, also under XWayland: only there does the clipboard keeper serve
    kQtChooses,     // Wayland without X: Qt picks its own plug-in
    kNone,          // nothing to show a window on
};

DisplayPlatform ChooseDisplayPlatform(const DisplayEnvironment& environment);

// Whether Qt will go for X11 first, so that the display must be checked before Qt aborts on
// an unreachable one.
bool UsesXcb(DisplayPlatform platform, const DisplayEnvironment& environment);

// The environment of this process.
DisplayEnvironment CurrentDisplayEnvironment();

}  // namespace quirlomat
