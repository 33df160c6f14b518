#pragma once

#include <string_view>

namespace quirlomat {

// The key letters the window starts with: a to z, A to Z, 0 to 9 and 18 marks, 80 in all,
// no blank among them.
inline constexpr std::u16string_view StandardKeyLetters =
    u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._-!~*'()=+$,?/:#%";

}  // namespace quirlomat
