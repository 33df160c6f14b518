#include "runtime/rounding.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include <gtest/gtest.h>

#include "support/error_number.h"

namespace quirlomat {
namespace {

using testing::ErrorRaisedBy;

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
            EXPECT_EQ(ErrorRaisedBy([&] { RoundToInt16(c.value); }), ErrorNumber::kOverflow)
                << c.value;
        }
    }
}

TEST(FloorToInt32, TakesTheIntegerBelowAndOverflowsOutsideTheRange) {
    EXPECT_EQ(FloorToInt32(-0.5), -1);
    EXPECT_EQ(FloorToInt32(255.99998474121094), 255);
    EXPECT_EQ(FloorToInt32(2147483647.9), 2147483647);
    EXPECT_EQ(FloorToInt32(-2147483648.0), std::numeric_limits<std::int32_t>::min());
    for (const double outside : {2147483648.0, -2147483648.5, std::nan("")}) {
        EXPECT_EQ(ErrorRaisedBy([&] { FloorToInt32(outside); }), ErrorNumber::kOverflow) << outside;
    }
}

}  // namespace
}  // namespace quirlomat
