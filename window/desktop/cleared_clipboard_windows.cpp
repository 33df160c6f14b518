#include "window/desktop/cleared_clipboard_windows.h"

#include <windows.h>

#include <QCoreApplication>

namespace quirlomat {

namespace {

// Often enough that another program's copy ends the program at once, and the deadline is kept
// to a tenth of a second.
constexpr std::chrono::milliseconds kLookEvery{100};

}  // namespace

ClearedClipboard::ClearedClipboard(std::chrono::seconds after) : after_(after) {
    QObject::connect(&watch_, &QTimer::timeout, [this] {
        if (ClearIfStillOurs(std::chrono::steady_clock::now() >= goneAt_)) {
            watch_.stop();
            QCoreApplication::exit(0);
        }
    });
}

void ClearedClipboard::SetText(const SecretBytes& utf8) {
    clipboard_.SetText(utf8);
    sequence_ = GetClipboardSequenceNumber();
    goneAt_ = std::chrono::steady_clock::now() + after_;
    watch_.start(kLookEvery);
}

bool ClearedClipboard::ClearIfStillOurs(bool timeIsUp) {
    if (GetClipboardSequenceNumber() != sequence_) {
        return true;  // another program's text: not ours to touch
    }
    if (!timeIsUp) {
        return false;
    }
    // Opened, the clipboard cannot change hands between the look and the emptying. Another
    // program may hold it open for a moment; the next look tries again.
    if (OpenClipboard(nullptr) == 0) {
        return false;
    }
    if (GetClipboardSequenceNumber() == sequence_) {
        (void)EmptyClipboard();
    }
    (void)CloseClipboard();
    return true;
}

}  // namespace quirlomat
