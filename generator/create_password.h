#pragma once

#include <string_view>

#include "runtime/random_source.h"
#include "runtime/secret.h"

namespace quirlomat {

enum class PasswordMode {
    KeyLetters,      // every character drawn from the key letters
    CharacterCodes,  // every character drawn from the single-byte codes 31 ... 255
};

// Makes a password of the length that lengthText reads as (rounded half to even). Reseeds
// random once, then draws exactly one value from it per character, in both modes, even when
// the key letters are empty and nothing can be appended.
//
// The key letters are used exactly as given (blanks and repeats included) and counted and
// drawn by characters, so a character outside the Basic Multilingual Plane is never split.
// A length below 1 gives the empty password, as do empty key letters in key-letter mode.
//
// Throws OverflowError, before drawing anything, when the length does not fit -32768 ... 32767.
SecretText CreatePassword(std::u16string_view keyLetters, std::u16string_view lengthText,
                          PasswordMode mode, RandomSource& random);

}  // namespace quirlomat
