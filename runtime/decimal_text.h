#pragma once

#include <cstdint>
#include <string>

namespace quirlomat {

// Decimal digits, with a minus sign before negative numbers and no blank.
std::u16string DecimalText(std::int32_t value);

}  // namespace quirlomat
