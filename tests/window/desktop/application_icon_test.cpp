#include "window/desktop/application_icon.h"

#include <QColor>
#include <QImage>
#include <QSet>
#include <gtest/gtest.h>

namespace quirlomat {
namespace {

TEST(ApplicationIcon, IsAKeyInAChequeredGreenFrame) {
    const QImage image =
        ApplicationIcon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(image.size(), QSize(32, 32));

    const QRgb green = qRgb(0x00, 0x80, 0x00);
    const QRgb brightGreen = qRgb(0x00, 0xFF, 0x00);
    QSet<QRgb> fieldColours;
    QSet<QRgb> allColours;
    int fieldTransparent = 0;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const QRgb pixel = image.pixel(x, y);
            const bool opaque = qAlpha(pixel) == 255;
            ASSERT_TRUE(opaque || qAlpha(pixel) == 0) << x << "," << y << ": no half tones";
            if (opaque) {
                allColours.insert(pixel);
            }
            const int ring = std::min({x, y, 31 - x, 31 - y});  // distance from the edge
            if (ring < 2) {
                EXPECT_FALSE(opaque) << x << "," << y << ": margin";
            } else if (ring < 5) {
                EXPECT_EQ(pixel, (x + y) % 2 == 0 ? green : brightGreen) << x << "," << y;
            } else if (opaque) {
                fieldColours.insert(pixel);
            } else {
                ++fieldTransparent;
            }
        }
    }
    EXPECT_LE(allColours.size(), 16);
    const QSet<QRgb> keyColours = {qRgb(0x80, 0x00, 0x80), qRgb(0x80, 0x00, 0x00),
                                   qRgb(0xFF, 0xFF, 0xFF)};
    EXPECT_EQ(fieldColours, keyColours) << "purple and dark red, white highlights";
    EXPECT_GT(fieldTransparent, 22 * 22 / 2) << "the key stands on a clear field";
}

}  // namespace
}  // namespace quirlomat
