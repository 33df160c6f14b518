#include "clipboard/hand_off.h"

#include <filesystem>

namespace quirlomat {

namespace {

struct Way {
    HandOff handOff;
    const char* keeper;  // its program's name, or null
};

// Every way, with the program that serves it where that is a keeper of its own: the keepers
// as the build records them, none where it makes none.
constexpr Way kWays[] = {
#include "keepers.inc"
    {HandOff::kThisProcess, nullptr},
    {HandOff::kWindowSystem, nullptr},
};

}  // namespace

const char* KeeperProgram(HandOff way) {
    for (const Way& entry : kWays) {
        if (entry.handOff == way) {
            return entry.keeper;
        }
    }
    return nullptr;
}

std::string KeeperPath(HandOff way, const std::string& programPath) {
    const char* keeper = KeeperProgram(way);
    if (keeper == nullptr) {
        return {};
    }
    const std::filesystem::path program(programPath);
    return (program.parent_path() / QUIRLOMAT_KEEPER_DIR_FROM_BIN / keeper)
        .lexically_normal()
        .string();
}

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
