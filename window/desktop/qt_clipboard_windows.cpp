#include <QByteArray>
#include <QLatin1String>

#include "clipboard/contract/clipboard_forms.h"
#include "runtime/errors.h"
#include "window/desktop/qt_clipboard.h"

// ole2.h builds on the types of windows.h.
// clang-format off
#include <windows.h>
#include <ole2.h>
// clang-format on

namespace quirlomat {

void QtClipboard::Publish(QClipboard& clipboard, std::unique_ptr<QMimeData> data) {
    // A four-byte zero: a DWORD "no", for each format that Windows reads as an exclusion.
    const QByteArray no(4, '\0');
    for (const char* type : clipboard_forms::kWindowsExclusions) {
        data->setData(QLatin1String(type), no);
    }
    // Qt only warns when Windows refuses the data; an unchanged clipboard tells.
    const DWORD before = GetClipboardSequenceNumber();
    clipboard.setMimeData(data.release(), QClipboard::Clipboard);
    // Qt puts only a promise on the Windows clipboard, rendered when someone pastes. Flushing
    // renders every format into memory that the clipboard owns, so the text outlives the
    // program however it ends, and a failure shows now, while the window is still there.
    if (GetClipboardSequenceNumber() == before || OleFlushClipboard() != S_OK) {
        Raise(ErrorNumber::kClipboardUnavailable, "Windows hat den Text nicht übernommen");
    }
}

}  // namespace quirlomat
