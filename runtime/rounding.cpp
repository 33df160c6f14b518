#include "runtime/rounding.h"

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
    if (std::isnan(rounded) || rounded < -32768.0 || rounded > 32767.0) {
        Raise(ErrorNumber::kOverflow);
    }
    return static_cast<std::int16_t>(rounded);
}

}  // namespace quirlomat
