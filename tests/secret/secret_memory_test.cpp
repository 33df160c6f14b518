#include "secret/secret_memory.h"

#include <gtest/gtest.h>

#include "secret/secret_string.h"

namespace quirlomat {
namespace {

TEST(SecretText, HoldsAWholePasswordAcrossGrowth) {
    SecretText text;
    for (int i = 0; i < 100000; ++i) {
        text.push_back(U'a' + static_cast<char32_t>(i % 26));
    }
    ASSERT_EQ(text.size(), 100000U);
    EXPECT_EQ(text[0], U'a');
    EXPECT_EQ(text[99999], U'a' + 99999U % 26);
}

}  // namespace
}  // namespace quirlomat
