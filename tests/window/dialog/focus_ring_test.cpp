#include "window/dialog/focus_ring.h"

#include <string>
#include <vector>

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QPalette>
#include <QStyle>
#include <gtest/gtest.h>

#include "shown_form.h"

namespace quirlomat {
namespace {

using testing::ShownForm;
using testing::StyleScope;

// A dark palette as dark themes set it: light text on dark grey, a mid blue highlight.
QPalette DarkPalette() {
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
    palette.setColor(QPalette::WindowText, Qt::white);
    palette.setColor(QPalette::Base, QColor(0x2a, 0x2a, 0x2a));
    palette.setColor(QPalette::AlternateBase, QColor(0x42, 0x42, 0x42));
    palette.setColor(QPalette::Text, Qt::white);
    palette.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
    palette.setColor(QPalette::ButtonText, Qt::white);
    palette.setColor(QPalette::Light, QColor(0x50, 0x50, 0x50));
    palette.setColor(QPalette::Midlight, QColor(0x42, 0x42, 0x42));
    palette.setColor(QPalette::Mid, QColor(0x2c, 0x2c, 0x2c));
    palette.setColor(QPalette::Dark, QColor(0x23, 0x23, 0x23));
    palette.setColor(QPalette::Shadow, QColor(0x14, 0x14, 0x14));
    palette.setColor(QPalette::Highlight, QColor(0x2a, 0x82, 0xda));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    return palette;
}

QImage Picture(QWidget* control) {
    QApplication::processEvents();
    return control->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// How many pixels change by at least 3:1 in contrast between the two pictures: the measure
// of a focus indicator that can be seen, whatever the colours around it.
int StronglyChangedPixels(const QImage& before, const QImage& after) {
    int changed = 0;
    for (int y = 0; y < before.height(); ++y) {
        for (int x = 0; x < before.width(); ++x) {
            if (ContrastRatio(QColor(before.pixel(x, y)), QColor(after.pixel(x, y))) >= 3.0) {
                ++changed;
            }
        }
    }
    return changed;
}

TEST(FocusRing, TheFocusedControlStandsOutInEveryStyleAndPalette) {
    for (const char* styleName : {"Fusion", "Windows"}) {
        const StyleScope style(QString::fromLatin1(styleName));
        const std::pair<const char*, QPalette> palettes[] = {
            {"standard", QApplication::style()->standardPalette()}, {"dark", DarkPalette()}};
        for (const auto& [paletteName, palette] : palettes) {
            ShownForm w;
            ASSERT_TRUE(w.active);
            w.form->setPalette(palette);
            const std::vector<QWidget*> controls = {w.Command1(), w.txtLaenge(), w.cbKey(),
                                                    w.txtKeyLetters()};
            for (QWidget* control : controls) {
                const std::string where = std::string(styleName) + ", " + paletteName + ", " +
                                          control->objectName().toStdString();
                QWidget* elsewhere =
                    control == w.Command1() ? static_cast<QWidget*>(w.cbKey()) : w.Command1();
                elsewhere->setFocus();
                const QImage unfocused = Picture(control);
                control->setFocus();
                ASSERT_TRUE(control->hasFocus()) << where;
                const QImage focused = Picture(control);
                ASSERT_EQ(focused.size(), unfocused.size()) << where;

                // At least as many pixels as a one-pixel outline of the control has.
                const int outline = 2 * (control->width() + control->height()) - 4;
                EXPECT_GE(StronglyChangedPixels(unfocused, focused), outline) << where;
            }
        }
    }
}

TEST(FocusRing, TheWindowsDefaultButtonKeepsItsFrameWhenTheFocusLeaves) {
    const StyleScope style(QStringLiteral("Windows"));
    ShownForm w;
    ASSERT_TRUE(w.active);
    const QRgb frame = w.Command1()->palette().color(QPalette::Shadow).rgb();
    for (QWidget* focus : {static_cast<QWidget*>(w.txtLaenge()), static_cast<QWidget*>(w.cbKey()),
                           static_cast<QWidget*>(w.Command1())}) {
        focus->setFocus();
        const QImage button = Picture(w.Command1());
        const std::string where = focus->objectName().toStdString();
        // The frame is the outermost line at the top and the left; at the bottom and the
        // right the style lets the bevel's shadow stand for it.
        for (int x = 2; x < button.width() - 2; ++x) {
            ASSERT_EQ(button.pixel(x, 0), frame) << where << " x " << x;
        }
        for (int y = 2; y < button.height() - 2; ++y) {
            ASSERT_EQ(button.pixel(0, y), frame) << where << " y " << y;
        }
    }
}

TEST(FocusRing, TakesTheHighlightOnlyWhereItStandsOutClearly) {
    QPalette grey;
    grey.setColor(QPalette::Window, QColor(0xef, 0xef, 0xef));
    grey.setColor(QPalette::Button, QColor(0xef, 0xef, 0xef));
    grey.setColor(QPalette::Base, Qt::white);
    grey.setColor(QPalette::WindowText, Qt::black);

    struct Case {
        const char* what;
        QPalette palette;
        QColor highlight;
        QColor expected;
    };
    const Case cases[] = {
        {"navy on light grey", grey, QColor(0x00, 0x00, 0x80), QColor(0x00, 0x00, 0x80)},
        {"mid blue on light grey: 3.2:1", grey, QColor(0x30, 0x8c, 0xc6), Qt::black},
        {"the highlight is the window colour", grey, QColor(0xef, 0xef, 0xef), Qt::black},
        {"mid blue on dark grey: 3.1:1", DarkPalette(), QColor(0x2a, 0x82, 0xda), Qt::white},
        {"gold on dark grey", DarkPalette(), QColor(0xff, 0xd7, 0x00), QColor(0xff, 0xd7, 0x00)},
    };
    for (Case c : cases) {
        c.palette.setColor(QPalette::Highlight, c.highlight);
        EXPECT_EQ(FocusRingColor(c.palette), c.expected) << c.what;
    }
}

TEST(FocusRing, ContrastRatioFollowsTheWcagFormula) {
    struct Case {
        QColor a;
        QColor b;
        double expected;
    };
    const Case cases[] = {
        {Qt::black, Qt::white, 21.0},
        {Qt::white, Qt::black, 21.0},
        {QColor(0x77, 0x77, 0x77), QColor(0x77, 0x77, 0x77), 1.0},
        {QColor(0x76, 0x76, 0x76), Qt::white, 4.54},  // the classic AA grey
        {QColor(0x30, 0x8c, 0xc6), QColor(0xef, 0xef, 0xef), 3.21},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(ContrastRatio(c.a, c.b), c.expected, 0.01)
            << c.a.name().toStdString() << " " << c.b.name().toStdString();
    }
}

}  // namespace
}  // namespace quirlomat
