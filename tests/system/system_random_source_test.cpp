#include "system/system_random_source.h"

#include <cmath>
#include <cstdint>
#include <map>
#include <set>
#include <span>
#include <vector>

#include <gtest/gtest.h>

#include "generator/create_password.h"
#include "generator/standard_key_letters.h"
#include "support/chi_square.h"
#include "support/secret_releases.h"

namespace quirlomat {
namespace {

// count values, each for a draw among choices (0: the plain 24-bit values).
std::vector<float> Draw(RandomSource& source, std::size_t count, std::size_t choices = 0) {
    std::vector<float> values;
    values.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        values.push_back(source.Next(choices));
    }
    return values;
}

// Enough values to cross several keystream chunks.
constexpr std::size_t kMany = 20000;

TEST(SystemRandomSource, GivesExact24BitValuesBelowOneWhenNothingIsChosen) {
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

// Values in runs, as the generator takes them: every run holds at least one value and no
// more than asked for, and every value lies in the middle of one of the count's intervals,
// across many chunks of keystream and a count that changes between draws. Small counts turn
// up every choice; 2^22 + 1 rejects about a quarter of the raw values, and stale or unwritten
// places in a run would show as far more repeats than the dozens its choices give.
TEST(SystemRandomSource, GivesRunsOfFreshValuesInTheMiddleOfEachChoice) {
    SystemRandomSource source;
    constexpr std::size_t kManyChoices = (std::size_t{1} << 22) + 1;
    for (const std::size_t choices : {std::size_t{1}, std::size_t{3}, std::size_t{80},
                                      std::size_t{225}, std::size_t{80}, kManyChoices}) {
        std::vector<float> all;
        std::set<double> seen;
        for (std::size_t wanted = 1; all.size() < kMany;
             wanted = wanted > 5000 ? 1 : wanted * 3 + 1) {
            const std::span<const float> run = source.NextValues(choices, wanted);
            ASSERT_GE(run.size(), 1U);
            ASSERT_LE(run.size(), wanted);
            for (const float value : run) {
                ASSERT_GE(value, 0.0F);
                ASSERT_LT(value, 1.0F);
                const double scaled = static_cast<double>(value) * static_cast<double>(choices);
                ASSERT_NEAR(scaled - std::floor(scaled), 0.5, 0.25) << choices;
                seen.insert(std::floor(scaled));
                all.push_back(value);
            }
        }
        if (choices == kManyChoices) {
            EXPECT_GT(seen.size(), all.size() - 200);
        } else {
            EXPECT_EQ(seen.size(), choices);
        }
    }
}

// Nothing of the values behind a past password outlives the next reseed: the old key and
// keystream go back to the system wiped.
TEST(SystemRandomSource, GivesUpTheOldKeyAndKeystreamWipedOnReseed) {
    SystemRandomSource source;
    (void)Draw(source, 10);
    const testing::SecretReleases releases;
    source.Reseed();
    ASSERT_EQ(releases.all().size(), 1U);
    EXPECT_TRUE(releases.all()[0].wiped);
    EXPECT_GE(releases.all()[0].bytes, 32U) << "a whole key at least";
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

// The real source, through the whole generator: every key letter and every code must be
// equally likely. At least 100 expected draws per category; failing only below p = 1e-6.
TEST(SystemRandomSource, ThroughTheGeneratorIsUniformInBothModes) {
    SystemRandomSource random;
    {
        std::map<char32_t, std::size_t> counts;
        for (int call = 0; call < 2; ++call) {
            for (char32_t c : CreatePassword<SecretText>(StandardKeyLetters, u"32767",
                                                         PasswordMode::kKeyLetters, random)) {
                ++counts[c];
            }
        }
        ASSERT_EQ(counts.size(), 80U);
        const double statistic = testing::ChiSquareUniform(counts, 80);
        EXPECT_GT(testing::ChiSquareUpperTail(statistic, 79), 1e-6) << statistic;
    }
    {
        std::map<char32_t, std::size_t> counts;
        for (int call = 0; call < 2; ++call) {
            for (char32_t c :
                 CreatePassword<SecretText>(u"", u"32767", PasswordMode::kCharacterCodes, random)) {
                ++counts[c];
            }
        }
        ASSERT_EQ(counts.size(), 225U);
        const double statistic = testing::ChiSquareUniform(counts, 225);
        EXPECT_GT(testing::ChiSquareUpperTail(statistic, 224), 1e-6) << statistic;
    }
}

TEST(SystemRandomSource, ThroughTheGeneratorNeverRepeatsAPassword) {
    SystemRandomSource random;
    const auto first =
        CreatePassword<SecretText>(StandardKeyLetters, u"63", PasswordMode::kKeyLetters, random);
    const auto second =
        CreatePassword<SecretText>(StandardKeyLetters, u"63", PasswordMode::kKeyLetters, random);
    EXPECT_EQ(first.size(), 63U);
    EXPECT_NE(first, second);
}

}  // namespace
}  // namespace quirlomat
