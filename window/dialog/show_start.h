#pragma once

class QLineEdit;

namespace quirlomat {

// When the focus leaves box for another control, the box shows the start of its text again:
// Tab into a box selects everything and scrolls to the end, which would otherwise hide the
// first characters for good. Leaving the window or opening a context menu keeps the place, so
// that the user comes back to where the cursor was.
void ShowStartWhenLeft(QLineEdit* box);

}  // namespace quirlomat
