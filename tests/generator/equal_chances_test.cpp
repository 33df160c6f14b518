// Every raw value the random source can make, through the conversion the source uses and the
// generator's own formula: not a sample, so the counts must come out exactly equal.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "generator/create_password.h"
#include "runtime/fair_values.h"
#include "runtime/windows_1252.h"

namespace quirlomat {
namespace {

constexpr std::uint32_t kRawValues = FairValues::kRawValues;

struct Tally {
    std::vector<std::uint32_t> hits;  // per choice
    std::uint32_t rejected = 0;
    std::uint32_t outside = 0;  // values outside [0, 1), or passes that gave no character
};

// Runs all 2^24 raw values through FairValues and DrawCharacter under plan; choiceOf maps the
// character drawn back to its choice.
template <typename ChoiceOf>
Tally CountEveryRawValue(const detail::PasswordPlan& plan, ChoiceOf choiceOf) {
    const std::size_t count = detail::ChoiceCount(plan);
    const FairValues fair(count);
    Tally tally;
    tally.hits.assign(count, 0);
    for (std::uint32_t raw = 0; raw < kRawValues; ++raw) {
        float r = 0.0F;
        if (!fair.FromRaw(raw, r)) {
            ++tally.rejected;
            continue;
        }
        const std::optional<char32_t> c = detail::DrawCharacter(plan, r);
        if (!(r >= 0.0F) || !(r < 1.0F) || !c) {
            ++tally.outside;
            continue;
        }
        ++tally.hits[choiceOf(*c)];
    }
    return tally;
}

void ExpectEqualChances(const Tally& tally, std::size_t count) {
    const auto each = static_cast<std::uint32_t>(kRawValues / count);
    EXPECT_EQ(tally.outside, 0U);
    EXPECT_EQ(tally.rejected, kRawValues % count) << "no more rejected than the balance needs";
    std::size_t unequal = 0;
    for (std::size_t choice = 0; choice < count; ++choice) {
        if (tally.hits[choice] != each) {
            if (++unequal <= 5) {
                ADD_FAILURE() << "choice " << choice << " of " << count << ": "
                              << tally.hits[choice] << " raw values, not " << each;
            }
        }
    }
    EXPECT_EQ(unequal, 0U);
}

// Key letters that are their own positions, so the character drawn names the position.
detail::PasswordPlan PositionLetters(std::size_t count) {
    std::u32string letters(count, U'\0');
    for (std::size_t i = 0; i < count; ++i) {
        letters[i] = static_cast<char32_t>(i);
    }
    return {1, PasswordMode::kKeyLetters, std::move(letters)};
}

class EveryKeyLetterPosition : public ::testing::TestWithParam<std::size_t> {};

TEST_P(EveryKeyLetterPosition, ComesFromEquallyManyRawValues) {
    const std::size_t count = GetParam();
    ExpectEqualChances(
        CountEveryRawValue(PositionLetters(count), [](char32_t c) { return std::size_t{c}; }),
        count);
}

// The window's box holds at most 32767 key letters; 2^23 is the largest count that single
// precision keeps exactly fair.
INSTANTIATE_TEST_SUITE_P(Counts, EveryKeyLetterPosition,
                         ::testing::Values(std::size_t{1}, std::size_t{3}, std::size_t{80},
                                           std::size_t{225}, std::size_t{30000}, std::size_t{32767},
                                           FairValues::kLargestFairCount));

TEST(EveryCharacterCode, ComesFromEquallyManyRawValues) {
    const detail::PasswordPlan plan{1, PasswordMode::kCharacterCodes, {}};
    ASSERT_EQ(detail::ChoiceCount(plan), 225U);
    // Windows-1252 gives every code its own character, so the character names the code.
    std::vector<std::size_t> choiceOfCharacter(0x2200, 225);
    for (int code = 31; code <= 255; ++code) {
        choiceOfCharacter[Windows1252Character(static_cast<std::uint8_t>(code))] =
            static_cast<std::size_t>(code - 31);
    }
    ExpectEqualChances(CountEveryRawValue(plan, [&](char32_t c) { return choiceOfCharacter[c]; }),
                       225);
}

// The edges of each count's range of raw values: the first and the last raw values that are
// not rejected must give single-precision values inside [0, 1) that pick the first and the
// last choice, and fair values sit in the middle of their interval, a quarter of it away from
// either edge. Counts that cannot be fair (0, above 2^23) give the plain value raw / 2^24.
TEST(FairValues, StayInsideZeroToOneAtTheEdges) {
    const std::size_t counts[] = {0,
                                  1,
                                  2,
                                  3,
                                  225,
                                  32767,
                                  FairValues::kLargestFairCount - 1,
                                  FairValues::kLargestFairCount,
                                  FairValues::kLargestFairCount + 1,
                                  kRawValues,
                                  std::numeric_limits<std::size_t>::max()};
    for (const std::size_t count : counts) {
        const FairValues fair(count);
        const bool isFair = count >= 1 && count <= FairValues::kLargestFairCount;
        std::optional<std::uint32_t> first;
        std::optional<std::uint32_t> last;
        for (std::uint32_t raw = 0; raw < 1000 && !first; ++raw) {
            float r = 0.0F;
            if (fair.FromRaw(raw, r)) {
                first = raw;
            }
        }
        for (std::uint32_t raw = kRawValues - 1; raw > kRawValues - 1000 && !last; --raw) {
            float r = 0.0F;
            if (fair.FromRaw(raw, r)) {
                last = raw;
            }
        }
        ASSERT_TRUE(first && last) << count;
        const std::uint32_t firstRaw = first.value_or(0);
        for (const std::uint32_t raw : {firstRaw, last.value_or(0)}) {
            float r = -1.0F;
            ASSERT_TRUE(fair.FromRaw(raw, r));
            EXPECT_GE(r, 0.0F) << count << " " << raw;
            EXPECT_LT(r, 1.0F) << count << " " << raw;
            if (!isFair) {
                EXPECT_EQ(r, static_cast<float>(raw) / 16777216.0F) << count;
                continue;
            }
            const double scaled = static_cast<double>(r) * static_cast<double>(count);
            const double choice = std::floor(scaled);
            EXPECT_EQ(choice, raw == firstRaw ? 0.0 : static_cast<double>(count - 1)) << count;
            EXPECT_GE(scaled - choice, 0.25) << count << " " << raw;
            EXPECT_LE(scaled - choice, 0.75) << count << " " << raw;
        }
    }
}

}  // namespace
}  // namespace quirlomat
