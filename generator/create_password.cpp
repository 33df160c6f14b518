#include "generator/create_password.h"

#include <utility>

#include "runtime/errors.h"
#include "runtime/number_from_text.h"
#include "runtime/rounding.h"
#include "runtime/text.h"

namespace quirlomat::detail {

static_assert(kMostKeyLetters == 8388608, "the refusal's text names the limit");

PasswordPlan PlanPassword(std::u16string_view keyLetters, std::u16string_view lengthText,
                          PasswordMode mode, RandomSource& random) {
    random.Reseed();
    const std::int16_t length = RoundToInt16(NumberFromText(lengthText));
    if (mode == PasswordMode::kCharacterCodes) {
        return {length, mode, std::u32string()};
    }
    std::u32string letters = Characters(keyLetters);
    if (letters.size() > kMostKeyLetters) {
        Raise(ErrorNumber::kInvalidArgument, "Zeichenvorrat mit mehr als 8388608 Zeichen");
    }
    return {length, mode, std::move(letters)};
}

}  // namespace quirlomat::detail
