#include "runtime/integer_conversion.h"

#include <cmath>

#include "runtime/runtime_error.h"

namespace quirlomat {

namespace {

// Half-to-even without relying on the floating-point rounding mode, which a plug-in or
// library could have changed behind our back.
double RoundHalfEven(double value) {
    const double lower = std::floor(value);
    const double fraction = value - lower;  // exact for every double
    if (fraction > 0.5) {
        return lower + 1.0;
    }
    if (fraction < 0.5) {
        return lower;
    }
    return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

}  // namespace

std::int16_t RoundToInt16(double value) {
    const double rounded = RoundHalfEven(value);
    // Written as a negated "inside" test so that a NaN is an overflow too.
    if (!(rounded >= -32768.0 && rounded <= 32767.0)) {
        ThrowOverflow();
    }
    return static_cast<std::int16_t>(rounded);
}

void ThrowOverflow() {
    throw OverflowError();
}

std::u16string DecimalText(std::int32_t value) {
    // Built from the unsigned magnitude so that the most negative value needs no special case.
    std::uint32_t magnitude =
        value < 0 ? 0U - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
    std::u16string reversed;
    do {
        reversed.push_back(static_cast<char16_t>(u'0' + magnitude % 10));
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) {
        reversed.push_back(u'-');
    }
    return {reversed.rbegin(), reversed.rend()};
}

}  // namespace quirlomat
