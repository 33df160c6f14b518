#include "runtime/runtime_error.h"

namespace quirlomat {

std::string ClassicErrorText(const RuntimeError& error) {
    return "Laufzeitfehler '" + std::to_string(error.number()) + "': " + error.what();
}

}  // namespace quirlomat
