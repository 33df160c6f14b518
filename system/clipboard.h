#pragma once

#include "secret/secret_string.h"

namespace quirlomat {

// The system clipboard as the program uses it: one call that empties it and stores a text.
class Clipboard {
public:
    virtual ~Clipboard() = default;

    // Called once the window is up: a clipboard that hands the text to a helper process
    // starts it now, so that SetText has only the text left to hand over.
    virtual void Prepare() {}

    // Replaces everything the clipboard held, in every format, by utf8 as plain text, in such
    // a way that the text stays available after this program has ended. An empty text is
    // stored as an empty text, not as an empty clipboard. Raises the clipboard error (with a
    // German detail for the user) when the text could not be stored, leaving the clipboard as
    // it was; the program can go on.
    virtual void SetText(const SecretBytes& utf8) = 0;
};

}  // namespace quirlomat
