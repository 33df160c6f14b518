#include "window/dialog/label_click.h"

#include <QAbstractButton>
#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QObject>
#include <QPointer>

namespace quirlomat {

namespace {

class LabelClickFilter final : public QObject {
public:
    LabelClickFilter(QLabel* label, QAbstractButton* button) : QObject(label), button_(button) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonDblClick:
                pressed_ = IsLeft(event) && Usable();
                if (pressed_) {
                    button_->setFocus(Qt::MouseFocusReason);
                }
                return pressed_;
            case QEvent::MouseButtonRelease: {
                const bool click = pressed_ && IsLeft(event) && Usable() &&
                                   static_cast<QLabel*>(watched)->rect().contains(
                                       static_cast<QMouseEvent*>(event)->position().toPoint());
                pressed_ = false;
                if (click) {
                    button_->click();
                }
                return click;
            }
            default:
                return QObject::eventFilter(watched, event);
        }
    }

private:
    static bool IsLeft(const QEvent* event) {
        return static_cast<const QMouseEvent*>(event)->button() == Qt::LeftButton;
    }
    bool Usable() const { return !button_.isNull() && button_->isEnabled(); }

    QPointer<QAbstractButton> button_;
    bool pressed_ = false;
};

}  // namespace

void ClickWithLabel(QLabel* label, QAbstractButton* button) {
    label->installEventFilter(new LabelClickFilter(label, button));
}

}  // namespace quirlomat
