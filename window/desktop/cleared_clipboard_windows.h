#pragma once

#include <chrono>

#include <QTimer>

#include "clipboard/clipboard.h"
#include "window/desktop/qt_clipboard.h"

namespace quirlomat {

// --clear-after on Windows: the text goes to Windows as always (flushed, so it is the
// clipboard's own), and the program stays, windowless, until the time is up; then it empties
// the clipboard, but only if nothing has been put there since, and ends. Another program's copy
// ends it at once and is left alone. Windows renders a flushed format once and keeps it, so a
// number of pastes cannot be counted here; that limit is refused where the ways are chosen.
class ClearedClipboard final : public Clipboard {
public:
    explicit ClearedClipboard(std::chrono::seconds after);

    void SetText(const SecretBytes& utf8) override;
    Custody custody() const override { return Custody::kThisProcess; }

private:
    // Empties the clipboard if it still holds this program's text; true when it no longer
    // does, either way.
    bool ClearIfStillOurs(bool timeIsUp);

    std::chrono::seconds after_;
    QtClipboard clipboard_;
    unsigned long sequence_ = 0;  // the clipboard's sequence number once the text was there
    QTimer watch_;
    std::chrono::steady_clock::time_point goneAt_;
};

}  // namespace quirlomat
