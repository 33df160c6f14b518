#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quirlomat {

// Texts reach the program as UTF-16 (from the window), but they are counted and drawn by
// characters (Unicode code points): a character outside the Basic Multilingual Plane is one
// character, never two halves of a surrogate pair. A lone surrogate, which is no character
// at all, counts as one and reads as U+FFFD, so that nothing derived from it is ill-formed.

// The number of characters in text.
std::int32_t CharacterCount(std::u16string_view text);

// The characters of text, one code point each; CharacterCount(text) of them.
std::u32string Characters(std::u16string_view text);

// The text without leading and trailing blanks (code 32 only; tabs and other spaces stay).
std::u16string_view TrimBlanks(std::u16string_view text);

}  // namespace quirlomat
