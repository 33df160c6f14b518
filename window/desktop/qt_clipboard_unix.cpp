#include <QByteArray>
#include <QLatin1String>

#include "clipboard/contract/clipboard_forms.h"
#include "window/desktop/qt_clipboard.h"

namespace quirlomat {

// X11 and Wayland: the hint that clipboard managers (klipper and those that follow it) read.
void QtClipboard::Publish(QClipboard& clipboard, std::unique_ptr<QMimeData> data) {
    data->setData(QLatin1String(clipboard_forms::kPasswordManagerHint),
                  QByteArray(clipboard_forms::kPasswordManagerHintValue));
    clipboard.setMimeData(data.release(), QClipboard::Clipboard);
}

}  // namespace quirlomat
