#include "window/dialog/dialog_fonts.h"

#include <QFontMetrics>
#include <QStringList>

namespace quirlomat {

namespace {

// 7.5 pt. The design's 8 pt is 11 pixels of a narrow bitmap face; 10 pixels of Liberation
// Sans or Arial take the same room, and starting there spares the start-up a font that the
// captions would only be measured in and then shrunk from.
constexpr int kDialogPixels = 10;
constexpr int kKeyLettersPixels = 16;  // 12 pt
constexpr int kCountPixels = 13;       // 9.75 pt
constexpr int kSmallestPixels = 8;     // below this, clipping is the lesser evil

QFont SansSerif(int pixels) {
    QFont font;
    // Liberation Sans (on Debian) and Arimo are drawn to Arial's metrics.
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Arial"), QStringLiteral("Arimo"),
                      QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixels);
    font.setWeight(QFont::Normal);
    return font;
}

bool Fits(const QFontMetrics& metrics, const Caption& caption) {
    return metrics.horizontalAdvance(caption.text) <= caption.room.width() &&
           metrics.height() <= caption.room.height();
}

}  // namespace

QFont DialogFont() {
    return SansSerif(kDialogPixels);
}

QFont KeyLettersFont() {
    return SansSerif(kKeyLettersPixels);
}

QFont CountFont() {
    return SansSerif(kCountPixels);
}

QFont ShrunkToFit(QFont font, std::initializer_list<Caption> captions) {
    while (font.pixelSize() > kSmallestPixels) {
        const QFontMetrics metrics(font);
        bool all = true;
        for (const Caption& caption : captions) {
            all = all && Fits(metrics, caption);
        }
        if (all) {
            break;
        }
        font.setPixelSize(font.pixelSize() - 1);
    }
    return font;
}

}  // namespace quirlomat
