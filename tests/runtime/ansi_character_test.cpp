#include "runtime/ansi_character.h"

#include <set>

#include <gtest/gtest.h>

#include "runtime/runtime_error.h"

namespace quirlomat {
namespace {

TEST(CharacterFromAnsiCode, FollowsWindows1252WithTheUndefinedCodesAsC1Controls) {
    const std::pair<int, char32_t> cases[] = {
        {0, U'\0'},        {31, U'\x1F'},     {65, U'A'},        {127, U'\x7F'},
        {0x80, U'\u20AC'}, {0x81, U'\u0081'}, {0x82, U'\u201A'}, {0x8A, U'\u0160'},
        {0x8D, U'\u008D'}, {0x8F, U'\u008F'}, {0x90, U'\u0090'}, {0x96, U'\u2013'},
        {0x99, U'\u2122'}, {0x9D, U'\u009D'}, {0x9F, U'\u0178'}, {0xA0, U'\u00A0'},
        {0xC4, U'\u00C4'}, {0xDF, U'\u00DF'}, {0xFF, U'\u00FF'},
    };
    for (const auto& [code, expected] : cases) {
        EXPECT_EQ(CharacterFromAnsiCode(code), expected) << code;
    }
}

TEST(CharacterFromAnsiCode, GivesADistinctCharacterForEveryCode) {
    std::set<char32_t> seen;
    for (int code = 0; code <= 255; ++code) {
        seen.insert(CharacterFromAnsiCode(code));
    }
    EXPECT_EQ(seen.size(), 256U);
    EXPECT_THROW(CharacterFromAnsiCode(-1), InvalidArgumentError);
    EXPECT_THROW(CharacterFromAnsiCode(256), InvalidArgumentError);
}

}  // namespace
}  // namespace quirlomat
