#include "runtime/text.h"

#include <string>

#include <gtest/gtest.h>

namespace quirlomat {
namespace {

TEST(Characters, CountsAndDecodesCodePointsNotUnits) {
    struct Case {
        std::u16string text;
        std::u32string characters;
    };
    const Case cases[] = {
        {u"", U""},
        {u"abc", U"abc"},
        {u"a\U0001F600b", U"a\U0001F600b"},
        {u"\U0001F600\U0001F600", U"\U0001F600\U0001F600"},
        // Broken surrogates are one (replaced) character each, never dropped or merged.
        {std::u16string{u'x', char16_t(0xD83D)}, U"x\uFFFD"},
        {std::u16string{char16_t(0xDE00), u'x'}, U"\uFFFDx"},
        {std::u16string{char16_t(0xDE00), char16_t(0xD83D)}, U"\uFFFD\uFFFD"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Characters(c.text), c.characters);
        EXPECT_EQ(CharacterCount(c.text), static_cast<std::int32_t>(c.characters.size()));
    }
}

TEST(TrimBlanks, RemovesOnlyBlanksAndOnlyAtTheEnds) {
    const std::pair<std::u16string_view, std::u16string_view> cases[] = {
        {u"", u""},     {u"   ", u""},    {u"ab", u"ab"},         {u"  ab  ", u"ab"},
        {u" x ", u"x"}, {u"a b", u"a b"}, {u"\tab\t", u"\tab\t"}, {u"\u00A0ab ", u"\u00A0ab"},
    };
    for (const auto& [text, trimmed] : cases) {
        EXPECT_EQ(TrimBlanks(text), trimmed);
    }
}

}  // namespace
}  // namespace quirlomat
