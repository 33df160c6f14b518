// Feeds arbitrary text to the length reading and checks more than survival: every result is
// finite, overflow is reported only for what is really out of range, and wherever a plain
// C-locale strtod can read the same text, both agree to the bit.

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <locale.h>
#include <optional>
#include <regex>
#include <string>

#include "runtime/errors.h"
#include "runtime/number_from_text.h"
#include "runtime/rounding.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "number_fuzz: %s\n", what);
    std::abort();
}

// The reference reading applies to plain numerals only: blanks, sign, digits, at most one
// full stop, a short exponent, and nothing after them.
bool IsPlainNumeral(const std::string& text) {
    static const std::regex plain(
        R"(^[ \t]*[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]{1,4})?$)");
    return text.size() < 200 && std::regex_match(text, plain);
}

// Half to even by a different road than the runtime takes: the hardware's rounding mode.
std::optional<std::int16_t> ReferenceRound(double value) {
    const double rounded = std::nearbyint(value);
    if (rounded < -32768.0 || rounded > 32767.0) {
        return std::nullopt;
    }
    return static_cast<std::int16_t>(rounded);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    // Bytes are read as Latin-1 so every input is a text; the reader only looks for ASCII.
    const std::u16string text(bytes.begin(), bytes.end());

    double value = 0.0;
    bool overflow = false;
    try {
        value = quirlomat::NumberFromText(text);
    } catch (const quirlomat::RunTimeError& error) {
        if (error.number() != quirlomat::ErrorNumber::kOverflow) {
            Fail("an error other than the overflow");
        }
        overflow = true;
    }
    if (!overflow && !std::isfinite(value)) {
        Fail("non-finite number");
    }

    if (IsPlainNumeral(bytes)) {
        static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
        errno = 0;
        const double reference = strtod_l(bytes.c_str(), nullptr, cLocale);
        const bool referenceOverflows = errno == ERANGE && std::isinf(reference);
        if (overflow != referenceOverflows) {
            Fail("overflow disagrees with strtod");
        }
        // Below the smallest normal double the reader may flush to zero where strtod keeps
        // a subnormal; both are "no length".
        if (!overflow && value != reference && !(value == 0.0 && std::fabs(reference) < DBL_MIN)) {
            Fail("value disagrees with strtod");
        }
    }

    if (!overflow) {
        const std::optional<std::int16_t> expected = ReferenceRound(value);
        try {
            const std::int16_t length = quirlomat::RoundToInt16(value);
            if (!expected || *expected != length) {
                Fail("rounding disagrees with the reference");
            }
        } catch (const quirlomat::RunTimeError& error) {
            if (error.number() != quirlomat::ErrorNumber::kOverflow || expected) {
                Fail("rounding overflowed inside the range");
            }
        }
    }
    return 0;
}
