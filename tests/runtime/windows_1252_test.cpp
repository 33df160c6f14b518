#include "runtime/windows_1252.h"

#include <cstdint>
#include <set>

#include <gtest/gtest.h>

namespace quirlomat {
namespace {

TEST(Windows1252Character, FollowsWindows1252WithTheUndefinedCodesAsC1Controls) {
    const std::pair<std::uint8_t, char32_t> cases[] = {
        {0, U'\0'},        {31, U'\x1F'},     {65, U'A'},        {127, U'\x7F'},
        {0x80, U'\u20AC'}, {0x81, U'\u0081'}, {0x82, U'\u201A'}, {0x8A, U'\u0160'},
        {0x8D, U'\u008D'}, {0x8F, U'\u008F'}, {0x90, U'\u0090'}, {0x96, U'\u2013'},
        {0x99, U'\u2122'}, {0x9D, U'\u009D'}, {0x9F, U'\u0178'}, {0xA0, U'\u00A0'},
        {0xC4, U'\u00C4'}, {0xDF, U'\u00DF'}, {0xFF, U'\u00FF'},
    };
    for (const auto& [code, expected] : cases) {
        EXPECT_EQ(Windows1252Character(code), expected) << int{code};
    }
}

TEST(Windows1252Character, GivesADistinctCharacterForEveryCode) {
    std::set<char32_t> seen;
    for (int code = 0; code <= 255; ++code) {
        seen.insert(Windows1252Character(static_cast<std::uint8_t>(code)));
    }
    EXPECT_EQ(seen.size(), 256U);
}

}  // namespace
}  // namespace quirlomat
