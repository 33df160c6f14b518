#pragma once

#include <QRect>

namespace quirlomat {

// The window's geometry is kept in twips (1/1440 inch), the unit it was designed in. At the
// 96 dots per inch the design assumed, 15 twips make one pixel; Qt's device-independent
// pixels carry that over to high-density screens.
inline constexpr int kTwipsPerPixel = 15;

// Nearest pixel; every stored value is positive, so halves round up.
constexpr int PixelsFromTwips(int twips) {
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

struct TwipsRect {
    int left;
    int top;
    int width;
    int height;

    QRect ToPixels() const {
        return {PixelsFromTwips(left), PixelsFromTwips(top), PixelsFromTwips(width),
                PixelsFromTwips(height)};
    }
};

namespace layout {

inline constexpr int kClientWidth = 3510;
inline constexpr int kClientHeight = 1440;

inline constexpr TwipsRect kCommand1{1800, 120, 1575, 375};
inline constexpr TwipsRect kTxtLaenge{840, 120, 735, 285};
inline constexpr TwipsRect kLabel1{135, 120, 495, 255};
// Too narrow for the indicator of any current style; the window widens it, keeping the corner.
inline constexpr TwipsRect kCbKey{840, 454, 135, 375};
inline constexpr TwipsRect kLabel2{120, 480, 270, 195};
inline constexpr TwipsRect kTxtKeyLetters{120, 840, 3255, 405};
inline constexpr TwipsRect kLblLetters{1200, 522, 735, 375};

}  // namespace layout

}  // namespace quirlomat
