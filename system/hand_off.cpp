#include "system/hand_off.h"

namespace quirlomat {

HandOff ChooseHandOff(std::string_view qtPlatformName) {
    return qtPlatformName == "xcb" ? HandOff::kX11Keeper : HandOff::kWindowSystem;
}

}  // namespace quirlomat
