#include "generator/create_password.h"

#include <cstddef>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "generator/standard_key_letters.h"
#include "support/error_number.h"
#include "support/scripted_random.h"

namespace quirlomat {
namespace {

using testing::ErrorRaisedBy;
using testing::ScriptedRandom;

std::u32string Make(std::u16string_view letters, std::u16string_view length, PasswordMode mode,
                    RandomSource& random) {
    return CreatePassword<std::u32string>(letters, length, mode, random);
}

TEST(StandardKeyLetters, AreTheEightyLettersDigitsAndMarks) {
    const std::u16string letters(StandardKeyLetters);
    EXPECT_EQ(letters.size(), 80U);
    EXPECT_EQ(letters.substr(0, 26), u"abcdefghijklmnopqrstuvwxyz");
    EXPECT_EQ(letters.substr(26, 26), u"ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    EXPECT_EQ(letters.substr(52, 10), u"0123456789");
    EXPECT_EQ(letters.substr(62), u"._-!~*'()=+$,?/:#%");
    EXPECT_EQ(letters.find(u' '), std::u16string::npos);
}

struct LengthCase {
    std::u16string_view text;
    std::optional<std::size_t> length;  // nullopt: the overflow error

    friend void PrintTo(const LengthCase& c, std::ostream* os) {
        *os << '"' << std::string(c.text.begin(), c.text.end()) << '"';
    }
};

class LengthText : public ::testing::TestWithParam<LengthCase> {};

TEST_P(LengthText, GivesItsLengthOrOverflowsBeforeDrawing) {
    const LengthCase& c = GetParam();
    for (const PasswordMode mode : {PasswordMode::kKeyLetters, PasswordMode::kCharacterCodes}) {
        ScriptedRandom random({0.5F});
        if (c.length) {
            const std::u32string password = Make(u"a", c.text, mode, random);
            EXPECT_EQ(password.size(), *c.length);
            EXPECT_EQ(random.nexts, *c.length) << "one value per character";
        } else {
            EXPECT_EQ(ErrorRaisedBy([&] { Make(u"a", c.text, mode, random); }),
                      ErrorNumber::kOverflow);
            EXPECT_EQ(random.nexts, 0U) << "nothing drawn before the overflow";
        }
        EXPECT_EQ(random.reseeds, 1U);
    }
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, LengthText,
    ::testing::Values(LengthCase{u"63", 63}, LengthCase{u"", 0}, LengthCase{u"abc", 0},
                      LengthCase{u"0", 0}, LengthCase{u"-7", 0}, LengthCase{u"2.5", 2},
                      LengthCase{u"3.5", 4}, LengthCase{u"0.5", 0}, LengthCase{u"1.5", 2},
                      LengthCase{u" 12 Zeichen", 12}, LengthCase{u"1e2", 100},
                      LengthCase{u"32767", 32767}, LengthCase{u"32767.4", 32767},
                      LengthCase{u"-32768", 0}, LengthCase{u"-32768.5", 0},
                      LengthCase{u"32768", std::nullopt}, LengthCase{u"32767.5", std::nullopt},
                      LengthCase{u"-32769", std::nullopt}, LengthCase{u"1e400", std::nullopt}));

TEST(CreatePassword, KeyLetterModeDrawsByPosition) {
    struct Case {
        std::u16string_view letters;
        std::vector<float> values;
        std::u32string expected;
    };
    const Case cases[] = {
        {u"a", {0.0F, 0.3F, 0.99F}, U"aaaaa"},
        // Blanks are drawn like any other letter: a third of the range each.
        {u" x ", {0.0F, 0.34F, 0.9F, 0.3333F, 0.6667F}, U" x   "},
        // The largest value below 1 still names the last position, never one past it.
        {StandardKeyLetters, {0.0F, 0.99999994F}, U"a%%%%"},
        {u"ab", {0.49999997F, 0.5F}, U"abbbb"},
        // A character outside the BMP is one key letter and comes out whole.
        {u"a\U0001F600", {0.75F, 0.25F}, U"\U0001F600aaaa"},
    };
    for (const Case& c : cases) {
        ScriptedRandom random(c.values);
        EXPECT_EQ(Make(c.letters, u"5", PasswordMode::kKeyLetters, random), c.expected);
        EXPECT_EQ(random.nexts, 5U);
    }
}

TEST(CreatePassword, EmptyKeyLettersGiveNothingButStillDrawOncePerPass) {
    ScriptedRandom random({0.0F, 0.99999994F});
    EXPECT_TRUE(Make(u"", u"40", PasswordMode::kKeyLetters, random).empty());
    EXPECT_EQ(random.nexts, 40U);
}

TEST(CreatePassword, CharacterCodeModeMapsEachValueToOneOf225Codes) {
    // The middle of each code's share of [0, 1) must give that code, through Windows-1252.
    std::map<int, char32_t> spotChecks = {{31, U'\x1F'},    {32, U' '},       {127, U'\x7F'},
                                          {128, U'\u20AC'}, {129, U'\u0081'}, {159, U'\u0178'},
                                          {160, U'\u00A0'}, {255, U'\u00FF'}};
    for (int code = 31; code <= 255; ++code) {
        ScriptedRandom random({static_cast<float>((code - 31 + 0.5) / 225.0)});
        const std::u32string password =
            Make(u"ignored", u"1", PasswordMode::kCharacterCodes, random);
        ASSERT_EQ(password.size(), 1U);
        if (spotChecks.count(code) != 0) {
            EXPECT_EQ(password[0], spotChecks[code]) << code;
        }
    }
    ScriptedRandom edges({0.0F, 0.99999994F});
    EXPECT_EQ(Make(u"", u"2", PasswordMode::kCharacterCodes, edges), U"\x1F\u00FF");
}

}  // namespace
}  // namespace quirlomat
