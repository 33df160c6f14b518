#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace quirlomat {

namespace detail {
// 0x80 ... 0x9F; everything else in Windows-1252 coincides with Latin-1.
inline constexpr std::array<char32_t, 32> kWindows1252High = {
    U'\u20AC', U'\u0081', U'\u201A', U'\u0192', U'\u201E', U'\u2026', U'\u2020', U'\u2021',
    U'\u02C6', U'\u2030', U'\u0160', U'\u2039', U'\u0152', U'\u008D', U'\u017D', U'\u008F',
    U'\u0090', U'\u2018', U'\u2019', U'\u201C', U'\u201D', U'\u2022', U'\u2013', U'\u2014',
    U'\u02DC', U'\u2122', U'\u0161', U'\u203A', U'\u0153', U'\u009D', U'\u017E', U'\u0178',
};

// Every code's character, looked up without a branch: the generator's codes fall into
// 0x80 ... 0x9F at random, about one in seven, which a branch mispredicts.
inline constexpr std::array<char32_t, 256> kWindows1252 = [] {
    std::array<char32_t, 256> table{};
    for (std::size_t code = 0; code < table.size(); ++code) {
        table[code] = code >= 0x80 && code <= 0x9F ? kWindows1252High[code - 0x80]
                                                   : static_cast<char32_t>(code);
    }
    return table;
}();
}  // namespace detail

// The character of a single-byte code in Windows-1252, the character set the program's own
// texts were written in. Every code gives exactly one character, and no two codes the same:
// the five codes that Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) give the
// C1 control of the same number, as Windows itself does. Inline: the generator calls it once
// per character.
inline char32_t Windows1252Character(std::uint8_t code) {
    return detail::kWindows1252[code];
}

}  // namespace quirlomat
