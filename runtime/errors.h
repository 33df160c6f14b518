#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quirlomat {

// Every run-time error the program can raise. The numbers are the ones users of the
// original program know from its message boxes; each has exactly one German text, in
// errors.cpp, and errors are raised only through Raise.
enum class ErrorNumber : std::uint16_t {
    kInvalidArgument = 5,         // a procedure was given a value it cannot serve
    kOverflow = 6,                // a number does not fit the integer it must be stored in
    kOutOfMemory = 7,             // an allocation failed
    kInternal = 51,               // the system refused a service the program cannot do without
    kClipboardUnavailable = 521,  // the clipboard could not be set
};

// A run-time error as the user sees it: its number and its description, the table's text
// followed by the detail of this occurrence, if any. The event procedures do not catch these
// themselves; the window's error report does, so that none passes silently.
class RunTimeError : public std::runtime_error {
public:
    RunTimeError(ErrorNumber number, std::string_view detail);

    ErrorNumber number() const noexcept { return number_; }

    // One line: "Laufzeitfehler '6': Überlauf" (UTF-8).
    std::string Line() const;

private:
    ErrorNumber number_;
};

// The table's text for number.
std::string_view ErrorText(ErrorNumber number);

// Throws the RunTimeError of number; detail (German) says what went wrong this time.
[[noreturn]] void Raise(ErrorNumber number, std::string_view detail = {});

}  // namespace quirlomat
