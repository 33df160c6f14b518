#include "runtime/decimal_text.h"

#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

namespace quirlomat {
namespace {

TEST(DecimalText, WritesDigitsWithAMinusAndNoBlank) {
    const std::pair<std::int32_t, std::u16string> cases[] = {
        {0, u"0"},
        {80, u"80"},
        {-5, u"-5"},
        {std::numeric_limits<std::int32_t>::max(), u"2147483647"},
        {std::numeric_limits<std::int32_t>::min(), u"-2147483648"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(DecimalText(value), text) << value;
    }
}

}  // namespace
}  // namespace quirlomat
