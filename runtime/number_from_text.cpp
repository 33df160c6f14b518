#include "runtime/number_from_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <system_error>

#include "runtime/errors.h"

namespace quirlomat {

namespace {

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

bool IsLeadingBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// The decimal exponent of a numeral's leading digit, saturated far beyond anything a double
// can hold, so that an out-of-range result can be told apart as overflow or underflow.
constexpr std::int64_t kExponentLimit = 1'000'000'000;

std::int64_t Saturate(std::int64_t value) {
    return value > kExponentLimit    ? kExponentLimit
           : value < -kExponentLimit ? -kExponentLimit
                                     : value;
}

}  // namespace

double NumberFromText(std::u16string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && IsLeadingBlank(text[pos])) {
        ++pos;
    }

    // The numeral is copied out as ASCII for std::from_chars, which is locale-independent
    // but accepts neither a leading '+' nor the forms we do not read (inf, nan, hex).
    std::string numeral;
    if (pos < text.size() && (text[pos] == u'+' || text[pos] == u'-')) {
        if (text[pos] == u'-') {
            numeral.push_back('-');
        }
        ++pos;
    }

    std::size_t mantissaDigits = 0;
    std::int64_t leadingExponent = 0;  // position of the first non-zero digit, as a power of ten
    bool seenNonZero = false;
    std::int64_t integerDigitsAfterLead = 0;
    while (pos < text.size() && IsDigit(text[pos])) {
        if (seenNonZero) {
            ++integerDigitsAfterLead;
        } else if (text[pos] != u'0') {
            seenNonZero = true;
        }
        numeral.push_back(static_cast<char>(text[pos]));
        ++mantissaDigits;
        ++pos;
    }
    if (seenNonZero) {
        leadingExponent = Saturate(integerDigitsAfterLead);
    }
    if (pos < text.size() && text[pos] == u'.') {
        numeral.push_back('.');
        ++pos;
        std::int64_t fractionPosition = 0;
        while (pos < text.size() && IsDigit(text[pos])) {
            ++fractionPosition;
            if (!seenNonZero && text[pos] != u'0') {
                seenNonZero = true;
                leadingExponent = -Saturate(fractionPosition);
            }
            numeral.push_back(static_cast<char>(text[pos]));
            ++mantissaDigits;
            ++pos;
        }
    }
    if (mantissaDigits == 0 || !seenNonZero) {
        return 0.0;
    }

    // An exponent counts only when at least one digit follows its letter and sign.
    if (pos < text.size() && (text[pos] == u'e' || text[pos] == u'E')) {
        std::size_t exponentPos = pos + 1;
        bool negative = false;
        if (exponentPos < text.size() && (text[exponentPos] == u'+' || text[exponentPos] == u'-')) {
            negative = text[exponentPos] == u'-';
            ++exponentPos;
        }
        if (exponentPos < text.size() && IsDigit(text[exponentPos])) {
            std::int64_t exponent = 0;
            numeral.push_back('e');
            if (negative) {
                numeral.push_back('-');
            }
            // Leading zeros of the exponent are dropped and its value saturated, so that a
            // thousand-digit exponent neither overflows here nor bloats the numeral.
            while (exponentPos < text.size() && IsDigit(text[exponentPos])) {
                exponent = Saturate(exponent * 10 + (text[exponentPos] - u'0'));
                ++exponentPos;
            }
            numeral += std::to_string(exponent);
            leadingExponent = Saturate(leadingExponent + (negative ? -exponent : exponent));
        }
    }

    double value = 0.0;
    const char* const first = numeral.data();
    const char* const last = first + numeral.size();
    const auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
    if (error == std::errc::result_out_of_range) {
        // Too far from 1 for a double: either too large (an error) or too small (zero).
        if (leadingExponent > 0) {
            Raise(ErrorNumber::kOverflow);
        }
        return 0.0;
    }
    if (error != std::errc() || end != last || !std::isfinite(value)) {
        // The numeral was built to be valid; reaching this would be a fault of ours, and a
        // non-finite length must never pass on.
        Raise(ErrorNumber::kOverflow);
    }
    return value;
}

}  // namespace quirlomat
