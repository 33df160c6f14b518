#pragma once

#include <memory>

#include "clipboard/clipboard.h"
#include "clipboard/contract/clipboard_limits.h"

namespace quirlomat {

// The clipboard on a Wayland compositor that offers no data-control protocol and no X
// display (GNOME's Mutter without XWayland, weston): no keeper can own the selection there,
// so the program owns it itself, on Qt's Wayland connection, which alone has the keyboard
// focus and the input serial that the core protocol asks for. The text is served from secret
// memory of its own until another client takes the clipboard; then it is wiped and the
// event loop ends. The program hides its window meanwhile (custody kThisProcess).
//
// The selection is the program's own wl_data_source, not Qt's: Qt answers each paste with one
// blocking write on the GUI thread, so every reader that leaves its pipe full held up every
// other paste, and the program's end, for as long as Qt's write was allowed to take, one
// reader after another. Here each paste is written as the reader makes room, never waiting
// for it, as the Wayland keeper does.
class QtSelectionOwner final : public Clipboard {
public:
    explicit QtSelectionOwner(const ClipboardLimits& limits = {});
    ~QtSelectionOwner() override;
    QtSelectionOwner(const QtSelectionOwner&) = delete;
    QtSelectionOwner& operator=(const QtSelectionOwner&) = delete;

    void SetText(const SecretBytes& utf8) override;
    Custody custody() const override { return Custody::kThisProcess; }

    struct Served;  // the text, the Wayland objects that offer it and the transfers under way

private:
    ClipboardLimits limits_;
    std::unique_ptr<Served> served_;
};

}  // namespace quirlomat
