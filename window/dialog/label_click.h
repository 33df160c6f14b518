#pragma once

class QAbstractButton;
class QLabel;

namespace quirlomat {

// A click on label is a click on button, as on the classic desktop: the press gives the
// button the focus, and a left-button release over the label clicks it, so that the button
// and everything connected to it run exactly as after a click on the button itself. A double
// click counts as two, as it does on the button.
void ClickWithLabel(QLabel* label, QAbstractButton* button);

}  // namespace quirlomat
