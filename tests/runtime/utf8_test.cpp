#include "runtime/utf8.h"

#include <string>

#include <gtest/gtest.h>

namespace quirlomat {
namespace {

TEST(EncodeUtf8, EncodesEveryLengthAndReplacesNonCharacters) {
    const std::pair<std::u32string, std::string> cases[] = {
        {U"", ""},
        {U"a\x1F", "a\x1F"},
        {U"\u007F\u0080", "\x7F\xC2\x80"},
        {U"\u07FF\u0800", "\xDF\xBF\xE0\xA0\x80"},
        {U"\u00FF\u20AC", "\xC3\xBF\xE2\x82\xAC"},
        {U"\uFFFF\U00010000", "\xEF\xBF\xBF\xF0\x90\x80\x80"},
        {U"\U0001F600", "\xF0\x9F\x98\x80"},
        {U"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
        {std::u32string{char32_t(0xD800)}, "\xEF\xBF\xBD"},
        {std::u32string{char32_t(0xDFFF)}, "\xEF\xBF\xBD"},
        {std::u32string{char32_t(0x110000)}, "\xEF\xBF\xBD"},
    };
    for (const auto& [text, utf8] : cases) {
        EXPECT_EQ(EncodeUtf8<std::string>(text), utf8);
    }
}

// The UTF-8 form of a short password must not sit in the string object's inline buffer,
// outside the allocator that keeps it secret.
TEST(EncodeUtf8, ReservesBeyondTheInlineBufferEvenForOneCharacter) {
    for (const std::u32string& text : {std::u32string(U"a"), std::u32string(U"abc"),
                                       std::u32string(U"\u20AC"), std::u32string()}) {
        const std::string bytes = EncodeUtf8<std::string>(text);
        const auto* object = reinterpret_cast<const char*>(&bytes);
        const bool inObject = bytes.data() >= object && bytes.data() < object + sizeof(std::string);
        EXPECT_FALSE(inObject) << text.size() << " characters";
    }
}

}  // namespace
}  // namespace quirlomat
