#include "window/desktop/qt_selection_owner.h"

#include <chrono>
#include <initializer_list>
#include <utility>

#include <QByteArray>
#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMimeData>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariant>

#include "clipboard/contract/clipboard_forms.h"
#include "runtime/errors.h"
#include "window/desktop/write_deadline.h"

namespace quirlomat {

struct QtSelectionOwner::Held {
    SecretBytes text;
    // Made with the owner, on the GUI thread, whose writes to readers it bounds.
    WriteDeadline deadline;
};

namespace {

// How long Qt's write of the text to one reader may block the program. A reader that reads
// takes the longest text in well under a millisecond; one that leaves its pipe full gets what
// went through by then, and Qt closes the pipe. Qt gives no way to tell that reader that its
// text is cut, nor to go on writing later.
constexpr std::chrono::milliseconds kLongestWrite{200};

// Clipboard data that Qt asks for each time a reader pastes. The UTF-8 types are answered
// with a view of the secret memory, not a copy; Qt's Wayland plug-in writes it to the
// reader's pipe from there. Only "text/plain", which the plug-in reads through text(), costs
// a passing copy in ordinary memory.
class SecretMimeData final : public QMimeData {
public:
    explicit SecretMimeData(std::shared_ptr<QtSelectionOwner::Held> held)
        : held_(std::move(held)) {}

    QStringList formats() const override {
        QStringList formats;
        for (const char* type : clipboard_forms::kUtf8Types) {
            formats.append(QLatin1String(type));
        }
        formats.append(QLatin1String(clipboard_forms::kPasswordManagerHint));
        return formats;
    }

    bool hasFormat(const QString& mimeType) const override { return formats().contains(mimeType); }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType) const override {
        if (mimeType == QLatin1String(clipboard_forms::kPasswordManagerHint)) {
            return QByteArray(clipboard_forms::kPasswordManagerHintValue);
        }
        if (!hasFormat(mimeType)) {
            return {};
        }
        // Qt writes what this returns at once, on this thread, and comes back to the event
        // loop after it, where the deadline ends.
        held_->deadline.Arm(kLongestWrite);
        QTimer::singleShot(0, [held = held_] { held->deadline.Disarm(); });
        const SecretBytes& text = held_->text;
        return QByteArray::fromRawData(text.data(), static_cast<qsizetype>(text.size()));
    }

private:
    std::shared_ptr<QtSelectionOwner::Held> held_;
};

QClipboard* SystemClipboard() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr
               ? QGuiApplication::clipboard()
               : nullptr;
}

}  // namespace

QtSelectionOwner::QtSelectionOwner() : held_(std::make_shared<Held>()) {}

QtSelectionOwner::~QtSelectionOwner() = default;

void QtSelectionOwner::SetText(const SecretBytes& utf8) {
    QClipboard* clipboard = SystemClipboard();
    if (clipboard == nullptr) {
        Raise(ErrorNumber::kClipboardUnavailable);
    }
    SecretBytes text;
    // More than a short string's inline buffer, so that the text is in secret memory at once.
    text.reserve(utf8.size() + 32);
    text.assign(utf8);
    held_->text = std::move(text);

    QObject::disconnect(watching_);
    clipboard->setMimeData(new SecretMimeData(held_), QClipboard::Clipboard);
    if (!clipboard->ownsClipboard()) {
        held_->text = SecretBytes();
        Raise(ErrorNumber::kClipboardUnavailable, "die Zwischenablage nimmt den Text nicht an");
    }
    watching_ =
        QObject::connect(clipboard, &QClipboard::changed, &watch_, [this](QClipboard::Mode mode) {
            QClipboard* current = SystemClipboard();
            if (mode == QClipboard::Clipboard && current != nullptr && !current->ownsClipboard()) {
                Release();
            }
        });
}

void QtSelectionOwner::Release() {
    QObject::disconnect(watching_);
    // Assigning an empty text gives the old memory back to the secret allocator, which wipes
    // it; Qt may still hold the clipboard data, which from now on serves nothing.
    held_->text = SecretBytes();
    QCoreApplication::exit(0);
}

}  // namespace quirlomat
