#pragma once

#include <Qt>

class QLineEdit;
class QWidget;

namespace quirlomat {

// Alt+key moves the focus to control from anywhere in window, as an access key does, but
// without a marked letter in any caption. It only moves the focus, also onto the button:
// nothing that ends the program or changes a setting happens on a single chord. A disabled
// control keeps the focus where it is.
void AddAccessKey(QWidget& window, Qt::Key key, QWidget* control);

// An Alt chord that is no access key brings its character along as text, and a line edit
// would type it: a missed access key would change the length or the key letters. This keeps
// such chords out of box. Ctrl+Alt (AltGr on Windows) still types.
void KeepAltChordsOut(QLineEdit* box);

}  // namespace quirlomat
