#pragma once

#include <initializer_list>

#include <QColor>
#include <QPalette>
#include <QProxyStyle>

class QWidget;

namespace quirlomat {

// A solid ring, two pixels wide and one pixel inside the edge, around the control that has
// the keyboard focus, drawn on top of whatever the application's style draws. Styles differ
// too much to rely on: Fusion shows the focus only after the first Tab and never on a push
// button, the Windows style only as a dotted line. The ring stays inside the control, so
// sizes and positions do not change.
//
// Also keeps the Windows style's frame around the default button, which that style would
// paint over unless the button were an auto-default one (and those lose it with the focus).
class FocusRingStyle final : public QProxyStyle {
public:
    // Takes ownership of base.
    explicit FocusRingStyle(QStyle* base);

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override;
};

// The contrast ratio of two colours as WCAG defines it, from 1 (the same) to 21.
double ContrastRatio(const QColor& a, const QColor& b);

// The ring's colour: the palette's highlight where it stands out at least 4.5:1 against the
// window, the buttons and the text boxes; otherwise the window text, which does in any usable
// palette.
QColor FocusRingColor(const QPalette& palette);

// Gives each control the ring on top of the application's current style. The styles are
// shared and live as long as the application.
void ShowFocusRing(std::initializer_list<QWidget*> controls);

}  // namespace quirlomat
