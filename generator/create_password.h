#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "runtime/errors.h"
#include "runtime/fair_values.h"
#include "runtime/random_source.h"
#include "runtime/rounding.h"
#include "runtime/windows_1252.h"

namespace quirlomat {

enum class PasswordMode : std::uint8_t {
    kKeyLetters,      // every character drawn from the key letters
    kCharacterCodes,  // every character drawn from the single-byte codes 31 ... 255
};

namespace detail {

// One call's fixed inputs: the length read from the length text, and the key letters decoded
// once, since they cannot change during the call.
struct PasswordPlan {
    std::int16_t length;
    PasswordMode mode;
    std::u32string letters;
};

// The most key letters that every draw can choose among with exactly equal chances (the
// random source's limit, FairValues::kLargestFairCount): 2^23.
inline constexpr std::size_t kMostKeyLetters = FairValues::kLargestFairCount;

// Reseeds random, then reads the length and, in key-letter mode, the key letters; raises the
// overflow error, or the invalid-argument error for more than kMostKeyLetters key letters,
// before anything is drawn.
PasswordPlan PlanPassword(std::u16string_view keyLetters, std::u16string_view lengthText,
                          PasswordMode mode, RandomSource& random);

inline constexpr int kFirstCode = 31;
inline constexpr int kCodeCount = 225;  // 31 ... 255

// How many choices each pass draws among: the key letters' count (0 for none), or the 225
// codes. The random source is asked for every value with this count, so that it can make
// each choice exactly equally likely.
inline std::size_t ChoiceCount(const PasswordPlan& plan) {
    return plan.mode == PasswordMode::kCharacterCodes ? std::size_t{kCodeCount}
                                                      : plan.letters.size();
}

// The character that the random value r gives under plan; none when the key letters are
// empty, so that the pass draws its value and appends nothing.
//
// Inline, like everything it calls: out of line, the optional it returns went through the
// stack, and the load that reassembled it from two stores cost more than all the rest of
// the draw.
inline std::optional<char32_t> DrawCharacter(const PasswordPlan& plan, float r) {
    if (plan.mode == PasswordMode::kCharacterCodes) {
        // r < 1, so the code stays within 31 ... 255 and fits its byte.
        return Windows1252Character(
            static_cast<std::uint8_t>(FloorToInt32(r * double{kCodeCount} + kFirstCode)));
    }
    // r < 1, so position <= count for any non-empty key letters; with none, position is 1
    // and names nothing.
    const std::int32_t position = FloorToInt32(r * static_cast<double>(plan.letters.size()) + 1.0);
    if (static_cast<std::size_t>(position) > plan.letters.size()) {
        return std::nullopt;
    }
    return plan.letters[static_cast<std::size_t>(position) - 1];
}

}  // namespace detail

// Makes a password of the length that lengthText reads as (rounded half to even). Reseeds
// random once, then draws exactly one value from it per character, in both modes, even when
// the key letters are empty and nothing can be appended; each value is asked for with the
// number of choices it picks among (detail::ChoiceCount).
//
// The key letters are used exactly as given (blanks and repeats included) and counted and
// drawn by characters, so a character outside the Basic Multilingual Plane is never split.
// A length below 1 gives the empty password, as do empty key letters in key-letter mode.
//
// Text is the string type the password lives in, a std::basic_string of char32_t: the
// program passes one whose allocator keeps it in secret memory. Its whole length is reserved
// before the first character, and always more than the string's inline buffer holds, so the
// password never sits in the string object itself nor is copied around by growth.
//
// Raises the overflow error, before drawing anything, when the length does not fit
// -32768 ... 32767; and then the invalid-argument error when key-letter mode is given more
// than 2^23 key letters (detail::kMostKeyLetters), beyond which the random source cannot keep
// the chances exactly equal. The window's box holds at most 32767.
template <typename Text>
Text CreatePassword(std::u16string_view keyLetters, std::u16string_view lengthText,
                    PasswordMode mode, RandomSource& random) {
    const detail::PasswordPlan plan = detail::PlanPassword(keyLetters, lengthText, mode, random);
    Text password;
    const auto length = static_cast<std::size_t>(std::max<std::int16_t>(plan.length, 0));
    password.reserve(std::max(length, password.capacity() + 1));
    const std::size_t choices = detail::ChoiceCount(plan);
    // The counter is wider than the length, so that 32767 passes end instead of wrapping. The
    // values come in runs, one call for many passes, and each is used by exactly one pass.
    std::int32_t pass = 1;
    while (pass <= plan.length) {
        const std::int32_t left = plan.length - pass + 1;
        const auto wanted = static_cast<std::size_t>(left);
        const std::span<const float> values = random.NextValues(choices, wanted);
        if (values.empty()) {
            Raise(ErrorNumber::kInternal, "Zufallsgenerator nicht verfügbar");
        }
        for (const float r : values.first(std::min(values.size(), wanted))) {
            if (const std::optional<char32_t> c = detail::DrawCharacter(plan, r)) {
                password.push_back(*c);
            }
            ++pass;
        }
    }
    return password;
}

}  // namespace quirlomat
