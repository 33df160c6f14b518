#pragma once

#include <cstddef>
#include <cstdint>

namespace quirlomat {

// Turns raw random values of 24 bits into single-precision values r in [0, 1) for a draw among
// count equal choices, so that each of the 2^24 raw values is equally likely and yet every
// choice i (the interval [i / count, (i + 1) / count) of r) comes from exactly as many raw
// values as every other. Where count does not divide 2^24, the raw values that would tip the
// balance are rejected, and the source draws the next one instead.
//
// The raw value k picks the choice floor(k * count / 2^24); of the k that pick one choice,
// those whose remainder (k * count mod 2^24) lies below 2^24 mod count are rejected, which
// leaves floor(2^24 / count) of them for every choice (Lemire's method: no division per
// value). r is then the middle of the choice's interval, so that rounding to single precision
// cannot move it across an edge: the rounding error is at most 2^-25, and half an interval is
// at least 2^-24 as long as count <= 2^23. r * count is then exact in double precision and
// lies within a quarter of the middle, so floor(r * count + base) is the choice plus base for
// any small whole base.
//
// Counts above 2^23 (and 0, where nothing is chosen) get the plain value k / 2^24, never
// rejected: beyond 2^23, single precision cannot keep every interval apart. The key letters,
// the largest count the program draws for, hold at most 32767 characters in the window, and
// CreatePassword refuses more than 2^23.
class FairValues {
public:
    static constexpr int kRawBits = 24;
    static constexpr std::uint32_t kRawValues = std::uint32_t{1} << kRawBits;
    static constexpr std::size_t kLargestFairCount = std::size_t{1} << 23;

    // One division, so sources prepare it once per count, not once per value.
    explicit FairValues(std::size_t count)
        : count_(count),
          fair_(count >= 1 && count <= kLargestFairCount),
          rejectBelow_(fair_ ? kRawValues % static_cast<std::uint32_t>(count) : 0),
          inverse_(fair_ ? 1.0 / static_cast<double>(count) : 0.0) {}

    std::size_t count() const { return count_; }

    // The value for the raw value raw (below 2^24), or false when raw is rejected.
    bool FromRaw(std::uint32_t raw, float& value) const {
        if (!fair_) {
            value = static_cast<float>(raw) * (1.0F / static_cast<float>(kRawValues));
            return true;
        }
        const std::uint64_t scaled = std::uint64_t{raw} * count_;
        if ((scaled & (kRawValues - 1)) < rejectBelow_) {
            return false;
        }
        const auto choice = static_cast<std::uint32_t>(scaled >> kRawBits);
        value = static_cast<float>((choice + 0.5) * inverse_);
        return true;
    }

private:
    std::size_t count_;
    bool fair_;
    std::uint32_t rejectBelow_;
    double inverse_;
};

}  // namespace quirlomat
