#pragma once

#include "clipboard/clipboard.h"
#include "window/dialog/program_end.h"

namespace quirlomat {

// Ends the program as the clipboard's custody of the password allows: the windows go at once;
// the event loop ends at once when a keeper or the window system holds the text, and not
// before the clipboard changes hands when this process holds it itself.
class QtProgramEnd final : public ProgramEnd {
public:
    // clipboard must outlive this object.
    explicit QtProgramEnd(const Clipboard& clipboard) : clipboard_(clipboard) {}

    void End() override;

private:
    const Clipboard& clipboard_;
};

}  // namespace quirlomat
