#include "window/qt_clipboard.h"

#include <memory>

#include <QByteArray>
#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMimeData>
#include <QString>

#include "runtime/errors.h"

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
    clipboard->setMimeData(data.release(), QClipboard::Clipboard);
}

}  // namespace quirlomat
