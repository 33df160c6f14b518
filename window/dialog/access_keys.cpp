#include "window/dialog/access_keys.h"

#include <QEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QObject>
#include <QShortcut>
#include <QWidget>

namespace quirlomat {

namespace {

class AltChordFilter final : public QObject {
public:
    explicit AltChordFilter(QObject* parent) : QObject(parent) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) {
            return QObject::eventFilter(watched, event);
        }
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers();
        const bool altChord = (modifiers & Qt::AltModifier) && !(modifiers & Qt::ControlModifier);
        if (altChord && !key->text().isEmpty() && key->text().front().isPrint()) {
            event->accept();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

// On macOS the Alt modifier is the Option key, which types characters ("@" is Option+L on
// a German keyboard); there both functions leave the keys alone.

void AddAccessKey(QWidget& window, Qt::Key key, QWidget* control) {
#ifdef Q_OS_MACOS
    (void)window;
    (void)key;
    (void)control;
#else
    auto* shortcut = new QShortcut(QKeySequence(Qt::ALT | key), &window);
    QObject::connect(shortcut, &QShortcut::activated, control,
                     [control] { control->setFocus(Qt::ShortcutFocusReason); });
#endif
}

void KeepAltChordsOut(QLineEdit* box) {
#ifndef Q_OS_MACOS
    box->installEventFilter(new AltChordFilter(box));
#else
    (void)box;
#endif
}

}  // namespace quirlomat
