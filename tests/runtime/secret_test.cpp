#include "runtime/secret.h"

#include <string>

#include <gtest/gtest.h>

namespace quirlomat {
namespace {

TEST(EncodeUtf8, EncodesEveryLengthAndReplacesNonCharacters) {
    const std::pair<std::u32string, std::string> cases[] = {
        {U"", ""},
        {U"a\x1F", "a\x1F"},
        {U"\u00FF\u20AC", "\xC3\xBF\xE2\x82\xAC"},
        {U"\U0001F600", "\xF0\x9F\x98\x80"},
        {U"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
        {std::u32string{char32_t(0xD800)}, "\xEF\xBF\xBD"},
        {std::u32string{char32_t(0x110000)}, "\xEF\xBF\xBD"},
    };
    for (const auto& [text, utf8] : cases) {
        const SecretBytes encoded = EncodeUtf8(text);
        EXPECT_EQ(std::string(encoded.begin(), encoded.end()), utf8);
    }
}

TEST(SecretText, HoldsAWholePasswordAcrossGrowth) {
    SecretText text;
    for (int i = 0; i < 100000; ++i) {
        text.push_back(U'a' + static_cast<char32_t>(i % 26));
    }
    ASSERT_EQ(text.size(), 100000U);
    EXPECT_EQ(text[0], U'a');
    EXPECT_EQ(text[99999], U'a' + 99999U % 26);
}

}  // namespace
}  // namespace quirlomat
