#pragma once

#include "runtime/secret.h"

namespace quirlomat {

// The system clipboard as the program uses it: one call that empties it and stores a text.
class Clipboard {
public:
    virtual ~Clipboard() = default;

    // Replaces everything the clipboard held, in every format, by utf8 as plain text, in such
    // a way that the text stays available after this program has ended. An empty text is
    // stored as an empty text, not as an empty clipboard. Throws RuntimeError (with a German
    // description for the user) when the text could not be stored; the program can go on.
    virtual void SetText(const SecretBytes& utf8) = 0;
};

}  // namespace quirlomat
