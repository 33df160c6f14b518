#pragma once

#include <algorithm>
#include <chrono>

namespace quirlomat::keeper {

// The keepers' one clock: monotonic, so that a change of the wall clock neither cuts a
// transfer short nor keeps the password longer.
using Clock = std::chrono::steady_clock;

// For poll(): the whole milliseconds from now until then, 0 once it has passed.
inline int MillisecondsUntil(Clock::time_point then, Clock::time_point now) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(then - now).count();
    return static_cast<int>(std::clamp<decltype(left)>(left, 0, 24 * 60 * 60 * 1000));
}

}  // namespace quirlomat::keeper
