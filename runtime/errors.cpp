#include "runtime/errors.h"

namespace quirlomat {

namespace {

std::string Description(ErrorNumber number, std::string_view detail) {
    std::string description(ErrorText(number));
    if (!detail.empty()) {
        description.append(": ").append(detail);
    }
    return description;
}

}  // namespace

std::string_view ErrorText(ErrorNumber number) {
    switch (number) {
        case ErrorNumber::kInvalidArgument:
            return "Ungültiger Prozeduraufruf oder ungültiges Argument";
        case ErrorNumber::kOverflow:
            return "Überlauf";
        case ErrorNumber::kOutOfMemory:
            return "Nicht genügend Speicher";
        case ErrorNumber::kInternal:
            return "Interner Fehler";
        case ErrorNumber::kClipboardUnavailable:
            return "Zwischenablage kann nicht geöffnet werden";
    }
    return "Anwendungs- oder objektdefinierter Fehler";
}

RunTimeError::RunTimeError(ErrorNumber number, std::string_view detail)
    : std::runtime_error(Description(number, detail)), number_(number) {}

std::string RunTimeError::Line() const {
    return "Laufzeitfehler '" + std::to_string(static_cast<int>(number_)) + "': " + what();
}

void Raise(ErrorNumber number, std::string_view detail) {
    throw RunTimeError(number, detail);
}

}  // namespace quirlomat
