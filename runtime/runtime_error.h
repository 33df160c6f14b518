#pragma once

#include <stdexcept>
#include <string>

namespace quirlomat {

// A run-time error as the program reports it: a number and a German description.
// The event procedures do not catch these themselves; the window's error report does, so a
// failure always reaches the user and never passes silently.
class RuntimeError : public std::runtime_error {
public:
    RuntimeError(int number, const std::string& description)
        : std::runtime_error(description), number_(number) {}

    int number() const noexcept { return number_; }

private:
    int number_;
};

// Error 6: a number does not fit the integer type it must be stored in.
class OverflowError : public RuntimeError {
public:
    OverflowError() : RuntimeError(6, "Überlauf") {}
};

// Error 5: an argument outside what a service accepts (a character code above 255, say).
class InvalidArgumentError : public RuntimeError {
public:
    InvalidArgumentError()
        : RuntimeError(5, "Ungültiger Prozeduraufruf oder ungültiges Argument") {}
};

// The classic one-line form, "Laufzeitfehler '6': Überlauf" (UTF-8).
std::string ClassicErrorText(const RuntimeError& error);

}  // namespace quirlomat
