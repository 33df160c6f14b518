#include "generator/create_password.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

TEST(StandardKeyLetters, AreEightyDistinctLettersDigitsAndMarks) {
    const std::u16string letters(StandardKeyLetters);
    EXPECT_EQ(letters.size(), 80U);
    EXPECT_EQ(std::set<char16_t>(letters.begin(), letters.end()).size(), 80U);
    std::size_t lower = 0;
    std::size_t upper = 0;
    std::size_t digits = 0;
    std::size_t marks = 0;
    for (const char16_t c : letters) {
        lower += c >= u'a' && c <= u'z' ? 1 : 0;
        upper += c >= u'A' && c <= u'Z' ? 1 : 0;
        digits += c >= u'0' && c <= u'9' ? 1 : 0;
        // Printable ASCII only: the set must survive any keyboard layout and terminal.
        marks += c > u' ' && c < 0x7F && std::isalnum(static_cast<int>(c)) == 0 ? 1 : 0;
    }
    EXPECT_EQ(lower, 26U);
    EXPECT_EQ(upper, 26U);
    EXPECT_EQ(digits, 10U);
    EXPECT_EQ(marks, 18U) << "no blank, no control, nothing beyond ASCII";
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
    // Values one at a time or in runs, shorter or longer than the password: the same
    // characters, and exactly one value for each.
    for (const std::size_t runLength : {1U, 2U, 5U, 64U}) {
        for (const Case& c : cases) {
            ScriptedRandom random(c.values);
            random.runLength = runLength;
            EXPECT_EQ(Make(c.letters, u"5", PasswordMode::kKeyLetters, random), c.expected);
            EXPECT_EQ(random.nexts, 5U) << runLength;
        }
    }
    // A source that hands out more values than asked for still gives no more characters.
    ScriptedRandom overfilling({0.0F, 0.99F});
    overfilling.runLength = 64;
    overfilling.ignoresWanted = true;
    EXPECT_EQ(Make(u"ab", u"3", PasswordMode::kKeyLetters, overfilling), U"abb");
}

// The source makes each choice exactly equally likely only if it knows how many there are:
// every value is asked for with the count of key letters, by characters, or with the 225
// codes; empty key letters still draw, with nothing to choose among. Beyond 2^23 key letters
// the source cannot keep the chances equal, and CreatePassword refuses them, drawing nothing;
// the codes' mode does not read them.
TEST(CreatePassword, AsksForEachValueWithTheCountItChoosesAmong) {
    const std::u16string most(std::size_t{1} << 23, u'a');
    const std::u16string tooMany = most + u'b';
    struct Case {
        std::u16string_view letters;
        PasswordMode mode;
        std::optional<std::size_t> count;  // nullopt: refused
    };
    const Case cases[] = {
        {StandardKeyLetters, PasswordMode::kKeyLetters, 80},
        {u"a\U0001F600 ", PasswordMode::kKeyLetters, 3},
        {u"", PasswordMode::kKeyLetters, 0},
        {u"", PasswordMode::kCharacterCodes, 225},
        {StandardKeyLetters, PasswordMode::kCharacterCodes, 225},
        {most, PasswordMode::kKeyLetters, most.size()},
        {tooMany, PasswordMode::kKeyLetters, std::nullopt},
        {tooMany, PasswordMode::kCharacterCodes, 225},
    };
    for (const Case& c : cases) {
        ScriptedRandom random({0.5F});
        if (c.count) {
            (void)Make(c.letters, u"7", c.mode, random);
            EXPECT_EQ(random.nexts, 7U);
            EXPECT_EQ(random.counts, std::set<std::size_t>{*c.count}) << *c.count;
        } else {
            EXPECT_EQ(ErrorRaisedBy([&] { Make(c.letters, u"7", c.mode, random); }),
                      ErrorNumber::kInvalidArgument)
                << c.letters.size();
            EXPECT_EQ(random.nexts, 0U);
        }
    }
}

// An allocator that remembers the blocks it gave out, so that a test can tell whether a
// string's characters live in them or in the string object's own inline buffer.
template <typename T>
struct RecordingAllocator {
    using value_type = T;
    RecordingAllocator() = default;
    template <typename U>
    RecordingAllocator(const RecordingAllocator<U>&) {}  // NOLINT(google-explicit-constructor)
    T* allocate(std::size_t count) {
        T* memory = std::allocator<T>().allocate(count);
        blocks().emplace_back(reinterpret_cast<const char*>(memory), count * sizeof(T));
        return memory;
    }
    void deallocate(T* memory, std::size_t count) { std::allocator<T>().deallocate(memory, count); }
    friend bool operator==(const RecordingAllocator&, const RecordingAllocator&) { return true; }

    static std::vector<std::pair<const char*, std::size_t>>& blocks() {
        static std::vector<std::pair<const char*, std::size_t>> given;
        return given;
    }
    static bool Gave(const void* address) {
        const auto* at = static_cast<const char*>(address);
        return std::any_of(blocks().begin(), blocks().end(), [at](const auto& block) {
            return at >= block.first && at < block.first + block.second;
        });
    }
};

// The caller's allocator is the one that keeps a password secret; a short password must not
// slip past it into the inline buffer that every std::basic_string has for short texts.
TEST(CreatePassword, KeepsEvenTheShortestPasswordInTheCallersMemory) {
    using Recorded =
        std::basic_string<char32_t, std::char_traits<char32_t>, RecordingAllocator<char32_t>>;
    for (const PasswordMode mode : {PasswordMode::kKeyLetters, PasswordMode::kCharacterCodes}) {
        for (const std::u16string_view length : {u"1", u"2", u"3", u"4", u"0"}) {
            ScriptedRandom random({0.5F});
            const auto password = CreatePassword<Recorded>(u"ab", length, mode, random);
            EXPECT_TRUE(RecordingAllocator<char32_t>::Gave(password.data()))
                << std::string(length.begin(), length.end()) << " characters";
        }
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
