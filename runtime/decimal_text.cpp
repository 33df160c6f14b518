#include "runtime/decimal_text.h"

namespace quirlomat {

std::u16string DecimalText(std::int32_t value) {
    // Built from the unsigned magnitude so that the most negative value needs no special case.
    std::uint32_t magnitude =
        value < 0 ? 0U - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
    std::u16string reversed;
    do {
        reversed.push_back(static_cast<char16_t>(u'0' + magnitude % 10));
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) {
        reversed.push_back(u'-');
    }
    return {reversed.rbegin(), reversed.rend()};
}

}  // namespace quirlomat
