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

void AddAccessKey(QWidget& window, Qt::Key key, QWidget* control) {
    auto* shortcut = new QShortcut(QKeySequence(Qt::ALT | key), &window);
    QObject::connect(shortcut, &QShortcut::activated, control,
                     [control] { control->setFocus(Qt::ShortcutFocusReason); });
}

void KeepAltChordsOut(QLineEdit* box) {
    box->installEventFilter(new AltChordFilter(box));
}

}  // namespace quirlomat
