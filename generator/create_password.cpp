#include "generator/create_password.h"

#include "runtime/number_from_text.h"
#include "runtime/rounding.h"
#include "runtime/text.h"

namespace quirlomat::detail {

PasswordPlan PlanPassword(std::u16string_view keyLetters, std::u16string_view lengthText,
                          PasswordMode mode, RandomSource& random) {
    random.Reseed();
    const std::int16_t length = RoundToInt16(NumberFromText(lengthText));
    return {length, mode,
            mode == PasswordMode::kKeyLetters ? Characters(keyLetters) : std::u32string()};
}

}  // namespace quirlomat::detail
