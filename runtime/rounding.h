#pragma once

#include <cmath>
#include <cstdint>

#include "runtime/errors.h"

namespace quirlomat {

// Rounds to the nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4,
// -32768.5 -> -32768). Raises the overflow error when the result lies outside
// -32768 ... 32767, and for a NaN.
std::int16_t RoundToInt16(double value);

// The largest integer not above value. Raises the overflow error outside the 32-bit range
// and for a NaN. Inline and free of libm calls: the generator calls it once per character.
inline std::int32_t FloorToInt32(double value) {
    if (std::isnan(value) || value < -2147483648.0 || value >= 2147483648.0) {
        Raise(ErrorNumber::kOverflow);
    }
    const auto truncated = static_cast<std::int32_t>(value);  // rounds toward zero
    return static_cast<double>(truncated) > value ? truncated - 1 : truncated;
}

}  // namespace quirlomat
