#include "window/dialog/focus_ring.h"

#include <algorithm>
#include <cmath>

#include <QApplication>
#include <QHash>
#include <QPainter>
#include <QPointer>
#include <QStyleFactory>
#include <QStyleOption>
#include <QWidget>

namespace quirlomat {

namespace {

constexpr int kRingWidth = 2;
constexpr int kRingInset = 1;  // the style's own outermost line stays in sight
// Styles paint buttons and boxes in gradients a little off the palette's plain colours, so
// the colour must clear the 3:1 that a focus indicator needs with room to spare.
constexpr double kLeastContrast = 4.5;

double Linear(double channel) {
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double RelativeLuminance(const QColor& color) {
    return 0.2126 * Linear(color.redF()) + 0.7152 * Linear(color.greenF()) +
           0.0722 * Linear(color.blueF());
}

void DrawRing(const QStyleOption& option, QPainter* painter) {
    if (!(option.state & QStyle::State_HasFocus)) {
        return;
    }
    const QRect outer = option.rect.adjusted(kRingInset, kRingInset, -kRingInset, -kRingInset);
    const QRect inner = outer.adjusted(kRingWidth, kRingWidth, -kRingWidth, -kRingWidth);
    if (inner.width() <= 0 || inner.height() <= 0) {
        return;
    }
    painter->save();
    // Whole pixels: an antialiased ring would blur into the colours beside it.
    painter->setRenderHint(QPainter::Antialiasing, false);
    const QColor color = FocusRingColor(option.palette);
    painter->fillRect(QRect(outer.left(), outer.top(), outer.width(), kRingWidth), color);
    painter->fillRect(QRect(outer.left(), inner.bottom() + 1, outer.width(), kRingWidth), color);
    painter->fillRect(QRect(outer.left(), inner.top(), kRingWidth, inner.height()), color);
    painter->fillRect(QRect(inner.right() + 1, inner.top(), kRingWidth, inner.height()), color);
    painter->restore();
}

}  // namespace

FocusRingStyle::FocusRingStyle(QStyle* base) : QProxyStyle(base) {}

void FocusRingStyle::drawControl(ControlElement element, const QStyleOption* option,
                                 QPainter* painter, const QWidget* widget) const {
    const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
    if (element == CE_PushButtonBevel && button != nullptr &&
        (button->features & QStyleOptionButton::DefaultButton) &&
        !(button->features & QStyleOptionButton::AutoDefaultButton)) {
        // The common bevel leaves room for the default frame only around auto-default
        // buttons; in styles without such a frame the indicator is 0 and nothing changes.
        QStyleOptionButton framed = *button;
        framed.features |= QStyleOptionButton::AutoDefaultButton;
        QProxyStyle::drawControl(element, &framed, painter, widget);
        return;
    }
    QProxyStyle::drawControl(element, option, painter, widget);
    if ((element == CE_PushButton || element == CE_CheckBox) && option != nullptr) {
        DrawRing(*option, painter);
    }
}

void FocusRingStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                   QPainter* painter, const QWidget* widget) const {
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    // A line edit draws its text after the panel, inside the frame, where the ring is not.
    if (element == PE_PanelLineEdit && option != nullptr) {
        DrawRing(*option, painter);
    }
}

double ContrastRatio(const QColor& a, const QColor& b) {
    const double la = RelativeLuminance(a);
    const double lb = RelativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor FocusRingColor(const QPalette& palette) {
    const QColor highlight = palette.color(QPalette::Highlight);
    const QPalette::ColorRole surfaces[] = {QPalette::Window, QPalette::Button, QPalette::Base};
    const bool standsOut =
        std::all_of(std::begin(surfaces), std::end(surfaces), [&](QPalette::ColorRole role) {
            return ContrastRatio(highlight, palette.color(role)) >= kLeastContrast;
        });
    return standsOut ? highlight : palette.color(QPalette::WindowText);
}

void ShowFocusRing(std::initializer_list<QWidget*> controls) {
    // One ring style per application style, so that a window made after the application
    // changed its style gets the new one, and no widget outlives the style it draws with.
    static QHash<QString, QPointer<QStyle>> styles;
    const QString name = QApplication::style()->name();
    QPointer<QStyle>& style = styles[name];
    if (style.isNull()) {
        QStyle* base = QStyleFactory::create(name);
        if (base == nullptr) {
            return;  // a style that cannot be made twice keeps its own focus cues
        }
        style = new FocusRingStyle(base);
        style->setParent(qApp);
    }
    for (QWidget* control : controls) {
        control->setStyle(style);
    }
}

}  // namespace quirlomat
