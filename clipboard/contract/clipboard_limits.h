#pragma once

#include <chrono>
#include <cstdint>

namespace quirlomat {

// The bounds the user may set on how long the password lives on the clipboard; 0 is no
// bound. They travel in the hand-off (hand_off_protocol.h) to the keepers, and every owner of
// the clipboard (the keepers and the program's own windowless owner) honours them alike.
struct ClipboardLimits {
    // After this many pastes the password is gone.
    std::uint32_t pastes = 0;
    // This many seconds after "Erstellen" the password is gone.
    std::uint32_t clearAfterSeconds = 0;

    bool any() const { return pastes != 0 || clearAfterSeconds != 0; }
};

inline constexpr std::uint32_t kMostPastes = 1000;
inline constexpr std::uint32_t kMostClearAfterSeconds = 86400;

// One paste is every request for a text form that starts within this time of the first
// request of that paste: a browser asks several times (for each form it knows, and again as
// it inserts), and all of that is one paste to its user.
inline constexpr std::chrono::milliseconds kOnePaste{1000};

}  // namespace quirlomat
