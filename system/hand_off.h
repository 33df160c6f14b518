#pragma once

#include <cstdint>
#include <string_view>

namespace quirlomat {

// How the password gets onto the clipboard so that it outlives the program.
enum class HandOff : std::uint8_t {
    kX11Keeper,     // X11, also under XWayland: a selection lives only as long as its owner,
                    // so a keeper process owns it on the program's behalf
    kWindowSystem,  // the window system keeps clipboard data by itself (Qt's clipboard)
};

// The hand-off for the Qt platform plug-in the window runs on ("xcb", "wayland", ...).
HandOff ChooseHandOff(std::string_view qtPlatformName);

}  // namespace quirlomat
