#include "system/hand_off.h"

#include <gtest/gtest.h>

namespace quirlomat {
namespace {

TEST(ChooseHandOff, OnlyX11NeedsTheKeeper) {
    const std::pair<const char*, HandOff> cases[] = {
        {"xcb", HandOff::kX11Keeper},        {"wayland", HandOff::kWindowSystem},
        {"windows", HandOff::kWindowSystem}, {"offscreen", HandOff::kWindowSystem},
        {"", HandOff::kWindowSystem},
    };
    for (const auto& [platform, handOff] : cases) {
        EXPECT_EQ(ChooseHandOff(platform), handOff) << platform;
    }
}

}  // namespace
}  // namespace quirlomat
