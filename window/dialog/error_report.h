#pragma once

#include <string>

namespace quirlomat {

// Where run-time errors are shown to the user. The window shows them in a message box; tests
// collect them.
class ErrorReport {
public:
    virtual ~ErrorReport() = default;

    // Shows message (UTF-8, German, possibly several lines) and returns once the user has
    // seen it.
    virtual void Show(const std::string& message) = 0;
};

}  // namespace quirlomat
