#pragma once

#include <initializer_list>

#include <QFont>
#include <QSize>
#include <QString>

namespace quirlomat {

// The fonts of the window. Sizes are in pixels rather than points: the geometry is fixed in
// pixels (at the 96 dots per inch it was designed for), so a font measured in points would
// outgrow its controls on a screen that reports another density without scaling.

// The dialog font of the design, "MS Sans Serif" at about 8 points. Where it is missing, a
// face of about the same width stands in; DejaVu Sans, the usual default on Linux, is a good
// tenth wider and comes last.
QFont DialogFont();

// The key-letters box: "MS Sans Serif" at 12 points.
QFont KeyLettersFont();

// The count of key letters: "MS Sans Serif" at 9.75 points.
QFont CountFont();

struct Caption {
    QString text;
    QSize room;  // the space the control gives its text
};

// font, made smaller a pixel at a time until every caption fits its room whole. The captions
// were laid out for the design's bitmap font; a stand-in face can be wider.
QFont ShrunkToFit(QFont font, std::initializer_list<Caption> captions);

}  // namespace quirlomat
