#include "runtime/random_source.h"

#include <cmath>
#include <cstdint>
#include <set>
#include <vector>

#include <gtest/gtest.h>

namespace quirlomat {
namespace {

std::vector<float> Draw(RandomSource& source, std::size_t count) {
    std::vector<float> values;
    for (std::size_t i = 0; i < count; ++i) {
        values.push_back(source.Next());
    }
    return values;
}

// Enough values to cross several keystream chunks.
constexpr std::size_t kMany = 20000;

TEST(SystemRandomSource, GivesExact24BitValuesBelowOne) {
    SystemRandomSource source;
    source.Reseed();
    std::uint32_t orOfAll = 0;
    for (float value : Draw(source, kMany)) {
        ASSERT_GE(value, 0.0F);
        ASSERT_LT(value, 1.0F);
        const float scaled = value * 16777216.0F;
        ASSERT_EQ(scaled, std::floor(scaled)) << "not a multiple of 2^-24";
        orOfAll |= static_cast<std::uint32_t>(scaled);
    }
    EXPECT_EQ(orOfAll, 0xFFFFFFU) << "some of the 24 bits never vary";
}

TEST(SystemRandomSource, NeverRepeatsASequence) {
    SystemRandomSource first;
    SystemRandomSource second;  // never reseeded explicitly: must seed itself
    first.Reseed();
    const std::vector<float> a = Draw(first, 64);
    first.Reseed();
    const std::vector<float> b = Draw(first, 64);
    const std::vector<float> c = Draw(second, 64);
    EXPECT_NE(a, b);
    EXPECT_NE(a, c);
    EXPECT_NE(b, c);

    // Values within one sequence, across chunk boundaries, do not cycle: among 20000 draws
    // from 2^24 values, about a dozen collisions are expected, not thousands.
    const std::vector<float> many = Draw(first, kMany);
    EXPECT_GT(std::set<float>(many.begin(), many.end()).size(), kMany - 100);
}

}  // namespace
}  // namespace quirlomat
