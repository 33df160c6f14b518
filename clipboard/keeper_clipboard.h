#pragma once

#include <memory>
#include <string>

#include "clipboard/clipboard.h"
#include "clipboard/contract/clipboard_limits.h"

namespace quirlomat {

// The clipboard where a selection lives only as long as the program that owns it (X11, and
// Wayland too): the text goes to a small keeper process, which owns the clipboard from then
// on and serves it to whoever pastes, until another program takes the clipboard. Both
// keepers speak the same protocol; the path says which one.
//
// The hand-off is all or nothing: the keeper is told the length first and takes the
// clipboard only once every byte has arrived, so a program that dies half-way leaves the
// old clipboard as it was. Writing to a keeper that has gone must not end the program:
// SIGPIPE must be ignored, as HardenProcess does at start-up.
class KeeperClipboard final : public Clipboard {
public:
    // keeperPath: the keeper executable (KeeperPath in hand_off.h); limits go to the keeper
    // with the text.
    explicit KeeperClipboard(std::string keeperPath, const ClipboardLimits& limits = {});
    // A keeper started by Prepare and never given a text is told so (end of file before any
    // length) and ends by itself.
    ~KeeperClipboard() override;
    KeeperClipboard(const KeeperClipboard&) = delete;
    KeeperClipboard& operator=(const KeeperClipboard&) = delete;

    // Starts a keeper, which connects to the display and then waits for the text; does not
    // wait for it. A keeper that fails to start here is started again by SetText.
    void Prepare() override;

    void SetText(const SecretBytes& utf8) override;
    Custody custody() const override { return Custody::kKeeper; }

    struct Keeper;  // a started keeper process and its two pipes

private:
    std::string keeperPath_;
    ClipboardLimits limits_;
    std::unique_ptr<Keeper> waiting_;  // started by Prepare, not yet given a text
};

}  // namespace quirlomat
