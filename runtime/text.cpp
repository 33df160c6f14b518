#include "runtime/text.h"

namespace quirlomat {

namespace {

bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Calls emit(codePoint) for each character of text.
template <typename Emit>
void ForEachCharacter(std::u16string_view text, Emit&& emit) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            emit(0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                 (static_cast<char32_t>(text[i + 1]) - 0xDC00));
            ++i;
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            emit(U'\uFFFD');
        } else {
            emit(static_cast<char32_t>(unit));
        }
    }
}

}  // namespace

std::int32_t CharacterCount(std::u16string_view text) {
    std::int32_t count = 0;
    ForEachCharacter(text, [&count](char32_t) { ++count; });
    return count;
}

std::u32string Characters(std::u16string_view text) {
    std::u32string characters;
    characters.reserve(text.size());
    ForEachCharacter(text, [&characters](char32_t c) { characters.push_back(c); });
    return characters;
}

std::u16string_view TrimBlanks(std::u16string_view text) {
    const auto first = text.find_first_not_of(u' ');
    if (first == std::u16string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(u' ') - first + 1);
}

}  // namespace quirlomat
