#include "runtime/ansi_character.h"

#include "runtime/runtime_error.h"

namespace quirlomat::detail {

void ThrowInvalidCode() {
    throw InvalidArgumentError();
}

}  // namespace quirlomat::detail
