#pragma once

#include "clipboard/clipboard.h"

namespace quirlomat {

// The clipboard where the window system itself keeps clipboard data after the program ends
// (Windows, macOS, Wayland): Qt's clipboard, with the markers that keep clipboard managers
// and clipboard history from recording the text. Needs a QGuiApplication.
class QtClipboard final : public Clipboard {
public:
    void SetText(const SecretBytes& utf8) override;
};

}  // namespace quirlomat
