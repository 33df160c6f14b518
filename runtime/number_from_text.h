#pragma once

#include <string_view>

namespace quirlomat {

// The number at the start of a text, read the same way in every locale: leading blanks and
// tabs are skipped, then an optional sign, digits with an optional full stop as the decimal
// point, and an optional exponent (e or E, optional sign, digits). Whatever follows is
// ignored, and a text that does not begin with a number gives 0.
//
// The result is always finite: a number too large for a double raises the overflow error, and one
// too small to be told from zero gives zero.
double NumberFromText(std::u16string_view text);

}  // namespace quirlomat
