#include "generator/create_password.h"

#include "runtime/number_from_text.h"
#include "runtime/rounding.h"
#include "runtime/text.h"
#include "runtime/windows_1252.h"

namespace quirlomat::detail {

namespace {

constexpr int kFirstCode = 31;
constexpr int kCodeCount = 225;  // 31 ... 255

}  // namespace

PasswordPlan PlanPassword(std::u16string_view keyLetters, std::u16string_view lengthText,
                          PasswordMode mode, RandomSource& random) {
    random.Reseed();
    const std::int16_t length = RoundToInt16(NumberFromText(lengthText));
    return {length, mode,
            mode == PasswordMode::kKeyLetters ? Characters(keyLetters) : std::u32string()};
}

std::size_t ChoiceCount(const PasswordPlan& plan) {
    return plan.mode == PasswordMode::kCharacterCodes ? std::size_t{kCodeCount}
                                                      : plan.letters.size();
}

std::optional<char32_t> DrawCharacter(const PasswordPlan& plan, float r) {
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

}  // namespace quirlomat::detail
