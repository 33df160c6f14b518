#include "window/dialog/show_start.h"

#include <QEvent>
#include <QFocusEvent>
#include <QLineEdit>
#include <QObject>

namespace quirlomat {

namespace {

class ShowStartFilter final : public QObject {
public:
    explicit ShowStartFilter(QLineEdit* box) : QObject(box), box_(box) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusOut) {
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
                // Before the box handles the event itself, which only drops the selection.
                box_->home(false);
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QLineEdit* box_;  // the parent, so it outlives the filter
};

}  // namespace

void ShowStartWhenLeft(QLineEdit* box) {
    box->installEventFilter(new ShowStartFilter(box));
}

}  // namespace quirlomat
