#pragma once

#include <cstdint>

#include "secret/secret_string.h"

namespace quirlomat {

// Who holds the text once SetText has stored it, which decides how the program may end.
enum class Custody : std::uint8_t {
    kKeeper,        // a keeper process: the program may end at once, skipping all teardown
    kWindowSystem,  // the window system, once the toolkit has handed the text over in its
                    // orderly shutdown (Windows flushes the clipboard then)
    kThisProcess,   // this process alone: it must stay, windowless, until the clipboard
                    // changes hands, and then ends by itself
};

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

    // Who holds the text stored by the last successful SetText.
    virtual Custody custody() const { return Custody::kWindowSystem; }
};

}  // namespace quirlomat
