#pragma once

#include <algorithm>
#include <string_view>

namespace quirlomat {

// The UTF-8 form of text, in a byte string of the caller's choice (the program's lives in
// secret memory). Surrogates and values beyond U+10FFFF are no characters; they never come
// from the generator, but would make the clipboard text ill-formed, so they become U+FFFD.
// Reserves the longest possible form up front, so that growth never leaves a copy behind, and
// always more than a short string holds in its inline buffer, which lives in the string object
// itself and so outside the allocator's reach.
template <typename Bytes>
Bytes EncodeUtf8(std::u32string_view text) {
    Bytes bytes;
    bytes.reserve(std::max(text.size() * 4, bytes.capacity() + 1));
    auto put = [&bytes](char32_t value) { bytes.push_back(static_cast<char>(value)); };
    for (char32_t c : text) {
        if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            c = U'\uFFFD';
        }
        if (c < 0x80) {
            put(c);
        } else if (c < 0x800) {
            put(0xC0 | (c >> 6));
            put(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            put(0xE0 | (c >> 12));
            put(0x80 | ((c >> 6) & 0x3F));
            put(0x80 | (c & 0x3F));
        } else {
            put(0xF0 | (c >> 18));
            put(0x80 | ((c >> 12) & 0x3F));
            put(0x80 | ((c >> 6) & 0x3F));
            put(0x80 | (c & 0x3F));
        }
    }
    return bytes;
}

}  // namespace quirlomat
