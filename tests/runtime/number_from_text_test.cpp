#include "runtime/number_from_text.h"

#include <clocale>
#include <cstdlib>
#include <locale>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "support/error_number.h"

namespace quirlomat {
namespace {

struct NumberCase {
    std::u16string text;
    double value;

    friend void PrintTo(const NumberCase& c, std::ostream* os) {
        *os << '"';
        for (char16_t unit : c.text) {
            *os << (unit < 0x80 ? static_cast<char>(unit) : '?');
        }
        *os << '"';
    }
};

class NumberText : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberText, ReadsTheNumberAtTheStart) {
    EXPECT_EQ(NumberFromText(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, NumberText,
    ::testing::Values(NumberCase{u"63", 63}, NumberCase{u"", 0}, NumberCase{u"abc", 0},
                      NumberCase{u"-", 0}, NumberCase{u".", 0}, NumberCase{u"  42", 42},
                      NumberCase{u"\t-3.5x", -3.5}, NumberCase{u"+7", 7}, NumberCase{u"1e3", 1000},
                      NumberCase{u"1E-2", 0.01}, NumberCase{u"2.5e", 2.5}, NumberCase{u"1e+", 1},
                      NumberCase{u"4e-x", 4}, NumberCase{u".5", 0.5}, NumberCase{u"5.", 5},
                      NumberCase{u"-.25", -0.25}, NumberCase{u"1,5", 1}, NumberCase{u"1 2", 1},
                      NumberCase{u"0x1A", 0}, NumberCase{u"inf", 0}, NumberCase{u"nan", 0},
                      NumberCase{u"--1", 0},
                      NumberCase{u"\uFF11\uFF12", 0},  // full-width digits are not digits here
                      NumberCase{u"000000000000000000000000063", 63}, NumberCase{u"1e-400", 0},
                      NumberCase{u"-1e-400", 0}, NumberCase{u"0e999999999", 0},
                      NumberCase{u"0.000000000000000000000000000000000000000000001e45", 1},
                      NumberCase{u"1e308", 1e308}, NumberCase{u"32767.5", 32767.5}));

TEST(NumberFromText, TooLargeForADoubleIsTheOverflowError) {
    for (const std::u16string& text :
         {std::u16string(u"1e309"), std::u16string(u"-1e309"), std::u16string(400, u'9'),
          std::u16string(u"1e99999999999999999999999999"), std::u16string(u"0.1e310")}) {
        EXPECT_EQ(testing::ErrorRaisedBy([&] { NumberFromText(text); }), ErrorNumber::kOverflow);
    }
}

// strtod and iostreams would read "2.5" as 2 under a German locale; the box must not.
TEST(NumberFromText, FullStopIsTheDecimalPointUnderAGermanLocale) {
#if defined(_WIN32)
    // Windows's C runtime names its locales by language and country; the C++ library of
    // mingw-w64 knows no locale but "C", so there the C runtime's is the one in effect.
    constexpr const char* kGerman = "German_Germany.1252";
#else
    constexpr const char* kGerman = "de_DE.UTF-8";
#endif
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, kGerman), nullptr)
        << "the German locale must be installed for this test (make deps does it)";
#if !defined(_WIN32)
    std::locale::global(std::locale(kGerman));
#endif
    EXPECT_EQ(std::strtod("2.5", nullptr), 2.0) << "the locale is not in effect";

    EXPECT_EQ(NumberFromText(u"2.5"), 2.5);
    EXPECT_EQ(NumberFromText(u"2,5"), 2.0);

#if !defined(_WIN32)
    std::locale::global(std::locale::classic());
#endif
    std::setlocale(LC_ALL, saved.c_str());
}

}  // namespace
}  // namespace quirlomat
