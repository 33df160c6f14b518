#include "window/qt_clipboard.h"

#include <memory>

#include <QByteArray>
#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMimeData>
#include <QString>

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
    // A four-byte zero: a DWORD "no".
    const QByteArray no(4, '\0');

    auto data = std::make_unique<QMimeData>();
    data->setData(QStringLiteral("text/plain"), text);
    data->setData(QStringLiteral("text/plain;charset=utf-8"), text);
    // Windows: no clipboard monitor, no clipboard history, no cloud clipboard.
    data->setData(QStringLiteral("ExcludeClipboardContentFromMonitorProcessing"), no);
    data->setData(QStringLiteral("CanIncludeInClipboardHistory"), no);
    data->setData(QStringLiteral("CanUploadToCloudClipboard"), no);
    // macOS: the pasteboard convention for concealed content, under its own name and under
    // the MIME name that Qt programs on macOS use for it.
    data->setData(QStringLiteral("org.nspasteboard.ConcealedType"), QByteArray());
    data->setData(QStringLiteral("application/x-nspasteboard-concealed-type"), QByteArray());
    // KDE's Klipper and other Wayland clipboard managers.
    data->setData(QStringLiteral("x-kde-passwordManagerHint"), QByteArrayLiteral("secret"));
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
