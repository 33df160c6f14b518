#include "runtime/integer_conversion.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include <gtest/gtest.h>

#include "runtime/runtime_error.h"

namespace quirlomat {
namespace {

TEST(RoundToInt16, RoundsHalvesToEvenAndOverflowsOutsideTheRange) {
    struct Case {
        double value;
        std::optional<std::int16_t> expected;
    };
    const Case cases[] = {
        {2.5, 2},
        {3.5, 4},
        {-2.5, -2},
        {-3.5, -4},
        {0.5, 0},
        {1.5, 2},
        {-0.5, 0},
        {0.49999999999999994, 0},
        {2.5000000000000004, 3},
        {63.0, 63},
        {32767.4, 32767},
        {32766.5, 32766},
        {-32768.5, -32768},
        {-32767.5, -32768},
        {32767.5, std::nullopt},
        {32768.0, std::nullopt},
        {-32768.50000001, std::nullopt},
        {-32769.0, std::nullopt},
        {1e300, std::nullopt},
        {std::numeric_limits<double>::quiet_NaN(), std::nullopt},
    };
    for (const Case& c : cases) {
        if (c.expected) {
            EXPECT_EQ(RoundToInt16(c.value), *c.expected) << c.value;
        } else {
            EXPECT_THROW(RoundToInt16(c.value), OverflowError) << c.value;
        }
    }
}

TEST(FloorToInt32, TakesTheIntegerBelowAndOverflowsOutsideTheRange) {
    EXPECT_EQ(FloorToInt32(-0.5), -1);
    EXPECT_EQ(FloorToInt32(255.99998474121094), 255);
    EXPECT_EQ(FloorToInt32(2147483647.9), 2147483647);
    EXPECT_EQ(FloorToInt32(-2147483648.0), std::numeric_limits<std::int32_t>::min());
    EXPECT_THROW(FloorToInt32(2147483648.0), OverflowError);
    EXPECT_THROW(FloorToInt32(-2147483648.5), OverflowError);
}

TEST(DecimalText, WritesDigitsWithAMinusAndNoBlank) {
    EXPECT_EQ(DecimalText(0), u"0");
    EXPECT_EQ(DecimalText(80), u"80");
    EXPECT_EQ(DecimalText(-5), u"-5");
    EXPECT_EQ(DecimalText(std::numeric_limits<std::int32_t>::min()), u"-2147483648");
}

TEST(RuntimeError, ReadsLikeTheClassicReport) {
    EXPECT_EQ(ClassicErrorText(OverflowError()), "Laufzeitfehler '6': Überlauf");
    EXPECT_EQ(OverflowError().number(), 6);
}

}  // namespace
}  // namespace quirlomat
