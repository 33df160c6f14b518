#pragma once

#include <algorithm>
#include <chrono>

namespace quirlomat::hand_off {

// The one clock of the hand-off and of the keepers: monotonic, so that a change of the wall clock
// neither cuts a transfer short nor keeps the password longer.
using Clock = std::chrono::steady_clock;

// For poll(): the whole milliseconds from now until then, 0 once it has passed.
inline int MillisecondsUntil(Clock::time_point then, Clock::time_point now) {
    // poll() takes an int; a day is far beyond any deadline of the hand-off or a keeper.
    constexpr std::chrono::milliseconds::rep kLongest =
        std::chrono::milliseconds(std::chrono::hours(24)).count();
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(then - now).count();
    return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(left, 0, kLongest));
}

}  // namespace quirlomat::hand_off

namespace quirlomat::keeper {
using hand_off::Clock;
using hand_off::MillisecondsUntil;
}  // namespace quirlomat::keeper
