#pragma once

#include <cmath>
#include <cstddef>
#include <map>

namespace quirlomat::testing {

// Pearson's statistic for counts that should all be equal.
template <typename Key>
double ChiSquareUniform(const std::map<Key, std::size_t>& counts, std::size_t categories) {
    std::size_t total = 0;
    for (const auto& [key, count] : counts) {
        total += count;
    }
    const double expected = static_cast<double>(total) / static_cast<double>(categories);
    double statistic = 0.0;
    for (const auto& [key, count] : counts) {
        const double d = static_cast<double>(count) - expected;
        statistic += d * d / expected;
    }
    // Categories never seen contribute their full expectation.
    statistic += static_cast<double>(categories - counts.size()) * expected;
    return statistic;
}

// Upper tail probability of the chi-square distribution, by the Wilson-Hilferty cube-root
// normal approximation; at the tens to hundreds of degrees of freedom used here it is close
// enough for a pass/fail threshold of 1e-6.
inline double ChiSquareUpperTail(double statistic, double degreesOfFreedom) {
    const double k = degreesOfFreedom;
    const double z =
        (std::cbrt(statistic / k) - (1.0 - 2.0 / (9.0 * k))) / std::sqrt(2.0 / (9.0 * k));
    return 0.5 * std::erfc(z / std::sqrt(2.0));
}

}  // namespace quirlomat::testing
