#include "window/dialog/dialog_fonts.h"

#include <QFontMetrics>
#include <gtest/gtest.h>

namespace quirlomat {
namespace {

bool Fits(const QFont& font, const Caption& caption) {
    const QFontMetrics metrics(font);
    return metrics.horizontalAdvance(caption.text) <= caption.room.width() &&
           metrics.height() <= caption.room.height();
}

TEST(ShrunkToFit, GivesTheLargestSizeAtWhichEveryCaptionFits) {
    const QFont start = DialogFont();
    const Caption roomy{QStringLiteral("Key"), {200, 40}};
    EXPECT_EQ(ShrunkToFit(start, {roomy}).pixelSize(), start.pixelSize()) << "nothing to do";

    QFont large = start;
    large.setPixelSize(24);
    const Caption cases[] = {
        {QStringLiteral("Länge:"), {33, 17}},     // Label1
        {QStringLiteral("Key"), {18, 13}},        // Label2
        {QStringLiteral("Erstellen"), {40, 40}},  // narrower than the button
    };
    for (const Caption& caption : cases) {
        const QFont fitted = ShrunkToFit(large, {roomy, caption});
        EXPECT_TRUE(Fits(fitted, caption)) << caption.text.toStdString();
        QFont larger = fitted;
        larger.setPixelSize(fitted.pixelSize() + 1);
        EXPECT_FALSE(Fits(larger, caption)) << caption.text.toStdString() << ": shrunk too far";
    }
}

TEST(ShrunkToFit, StopsAtALegibleSizeWhenNothingFits) {
    const QFont fitted = ShrunkToFit(DialogFont(), {{QStringLiteral("Erstellen"), {5, 5}}});
    EXPECT_EQ(fitted.pixelSize(), 8);
}

}  // namespace
}  // namespace quirlomat
