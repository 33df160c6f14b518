#include "window/desktop/qt_clipboard.h"

#include <memory>
#include <utility>

#include <QByteArray>
#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLatin1String>
#include <QMimeData>
#include <QString>

#include "clipboard/contract/clipboard_forms.h"
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

    // Qt's platform plug-ins make every native text format of these two (the X names, the
    // Windows Unicode text).
    auto data = std::make_unique<QMimeData>();
    data->setData(QLatin1String(clipboard_forms::kPlainText), text);
    data->setData(QLatin1String(clipboard_forms::kUtf8Mime), text);
    Publish(*clipboard, std::move(data));
}

}  // namespace quirlomat
