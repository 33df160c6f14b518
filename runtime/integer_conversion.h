#pragma once

#include <cstdint>
#include <string>

namespace quirlomat {

// Rounds to the nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4,
// -32768.5 -> -32768). Throws OverflowError when the result lies outside -32768 ... 32767.
std::int16_t RoundToInt16(double value);

[[noreturn]] void ThrowOverflow();

// The largest integer not above value. Throws OverflowError outside the 32-bit range.
// Inline and free of libm: the generator calls it once per character.
inline std::int32_t FloorToInt32(double value) {
    // Written as a negated "inside" test so that a NaN is an overflow too.
    if (!(value >= -2147483648.0 && value < 2147483648.0)) {
        ThrowOverflow();
    }
    const auto truncated = static_cast<std::int32_t>(value);  // rounds toward zero
    return static_cast<double>(truncated) > value ? truncated - 1 : truncated;
}

// Decimal digits, with a minus sign before negative numbers and no blank.
std::u16string DecimalText(std::int32_t value);

}  // namespace quirlomat
