#pragma once

#include <memory>

#include <QClipboard>
#include <QMimeData>

#include "clipboard/clipboard.h"

namespace quirlomat {

// The clipboard where the window system itself keeps clipboard data after the program ends
// (Windows, Wayland): Qt's clipboard, with the markers that keep clipboard managers and
// clipboard history from recording the text. Needs a QGuiApplication.
class QtClipboard final : public Clipboard {
public:
    void SetText(const SecretBytes& utf8) override;

private:
    // Adds the platform's marker that keeps data out of clipboard history, where that
    // platform reads one, and puts data on clipboard; raises where the platform tells of a
    // refusal. One file for each: qt_clipboard_unix.cpp, qt_clipboard_windows.cpp.
    static void Publish(QClipboard& clipboard, std::unique_ptr<QMimeData> data);
};

}  // namespace quirlomat
