#include "window/desktop/qt_clipboard.h"

#include <memory>

#include <QByteArray>
#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLatin1String>
#include <QMimeData>
#include <QString>

#include "clipboard/contract/clipboard_forms.h"
#include "runtime/errors.h"

#if defined(Q_OS_WIN)
// ole2.h builds on the types of windows.h.
// clang-format off
#include <windows.h>
#include <ole2.h>
// clang-format on
#endif

namespace quirlomat {

void QtClipboard::SetText(const SecretBytes& utf8) {
    QClipboard* clipboard = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr
                                ? QGuiApplication::clipboard()
                                : nullptr;
    if (clipboard == nullptr) {
        Raise(ErrorNumber::kClipboardUnavailable);
    }

    // The clipboard keeps this copy until the next text replaces it; there is no wiping
    // memory that the window system itself reads from.
    const QByteArray text(utf8.data(), static_cast<qsizetype>(utf8.size()));

    // Qt's platform plug-ins make every native text format of these two (the X names, the
    // Windows Unicode text).
    auto data = std::make_unique<QMimeData>();
    data->setData(QLatin1String(clipboard_forms::kPlainText), text);
    data->setData(QLatin1String(clipboard_forms::kUtf8Mime), text);
    // Each platform's marker that keeps the text out of clipboard history, where that
    // platform reads it.
#if defined(Q_OS_WIN)
    // A four-byte zero: a DWORD "no".
    const QByteArray no(4, '\0');
    for (const char* type : clipboard_forms::kWindowsExclusions) {
        data->setData(QLatin1String(type), no);
    }
#elif defined(Q_OS_MACOS)
    for (const char* type : clipboard_forms::kMacOsConcealed) {
        data->setData(QLatin1String(type), QByteArray());
    }
#else
    data->setData(QLatin1String(clipboard_forms::kPasswordManagerHint),
                  QByteArray(clipboard_forms::kPasswordManagerHintValue));
#endif
#if defined(Q_OS_WIN)
    // Qt only warns when Windows refuses the data; an unchanged clipboard tells.
    const DWORD before = GetClipboardSequenceNumber();
#endif
    clipboard->setMimeData(data.release(), QClipboard::Clipboard);
#if defined(Q_OS_WIN)
    // Qt puts only a promise on the Windows clipboard, rendered when someone pastes. Flushing
    // renders every format into memory that the clipboard owns, so the text outlives the
    // program however it ends, and a failure shows now, while the window is still there.
    if (GetClipboardSequenceNumber() == before || OleFlushClipboard() != S_OK) {
        Raise(ErrorNumber::kClipboardUnavailable, "Windows hat den Text nicht übernommen");
    }
#endif
}

}  // namespace quirlomat
