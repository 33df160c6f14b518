#include "generator/create_password.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "runtime/ansi_character.h"
#include "runtime/integer_conversion.h"
#include "runtime/text.h"
#include "runtime/text_to_number.h"

namespace quirlomat {

namespace {

constexpr int kFirstCode = 31;
constexpr int kCodeCount = 225;  // 31 ... 255
constexpr std::int16_t kMinimumReserve = 16;

}  // namespace

SecretText CreatePassword(std::u16string_view keyLetters, std::u16string_view lengthText,
                          PasswordMode mode, RandomSource& random) {
    random.Reseed();
    const std::int16_t length = RoundToInt16(NumberFromText(lengthText));

    // The key letters cannot change during one call, so they are decoded and counted once.
    const std::u32string letters =
        mode == PasswordMode::KeyLetters ? Characters(keyLetters) : std::u32string();
    const auto letterCount = static_cast<double>(letters.size());

    // Reserved beyond the inline buffer of a short string, which the secret allocator would
    // not wipe, and to the full length, so that growth never copies the password around.
    SecretText password;
    password.reserve(static_cast<std::size_t>(std::max<std::int16_t>(length, kMinimumReserve)));
    // The counter is wider than the length, so that 32767 passes end instead of wrapping.
    for (std::int32_t pass = 1; pass <= length; ++pass) {
        const double r = random.Next();
        if (mode == PasswordMode::KeyLetters) {
            // r < 1, so position <= count for any non-empty key letters; with none, position
            // is 1 and names nothing.
            const std::int32_t position = FloorToInt32(r * letterCount + 1.0);
            if (static_cast<std::size_t>(position) <= letters.size()) {
                password.push_back(letters[static_cast<std::size_t>(position) - 1]);
            }
        } else {
            password.push_back(CharacterFromAnsiCode(FloorToInt32(r * kCodeCount + kFirstCode)));
        }
    }
    return password;
}

}  // namespace quirlomat
