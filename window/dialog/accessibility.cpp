#include "window/dialog/accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLatin1StringView>
#include <QObject>
#include <QWidget>
#include <QtGlobal>

namespace quirlomat {

namespace {

QAccessibleInterface* DialogWindowFactory(const QString& className, QObject* object) {
    // Qt asks once for every class from the most derived up; only when the chain has reached
    // plain QWidget is no more specific interface to be had.
    if (className != QLatin1StringView("QWidget") || object == nullptr || !object->isWidgetType()) {
        return nullptr;
    }
    auto* widget = static_cast<QWidget*>(object);
    if (!widget->isWindow() || widget->windowType() != Qt::Dialog) {
        return nullptr;
    }
    return new QAccessibleWidget(widget, QAccessible::Dialog);
}

}  // namespace

void ReportDialogWindowsAsDialogs() {
    static const bool installed = [] {
        QAccessible::installFactory(&DialogWindowFactory);
        return true;
    }();
    (void)installed;
}

void Announce(QObject* source, const QString& message) {
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QAccessibleAnnouncementEvent event(source, message);
    event.setPoliteness(QAccessible::AnnouncementPoliteness::Polite);
    QAccessible::updateAccessibility(&event);
#else
    (void)source;
    (void)message;
#endif
}

}  // namespace quirlomat
