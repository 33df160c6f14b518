#pragma once

#include <optional>

#include "runtime/errors.h"

namespace quirlomat::testing {

// The number of the run-time error that procedure raises; none when it returns normally.
// Other exceptions pass through and fail the test.
template <typename Procedure>
std::optional<ErrorNumber> ErrorRaisedBy(Procedure procedure) {
    try {
        procedure();
    } catch (const RunTimeError& error) {
        return error.number();
    }
    return std::nullopt;
}

}  // namespace quirlomat::testing
