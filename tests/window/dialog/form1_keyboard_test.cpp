// The dialog without a mouse: access keys, Alt chords that must not type, the key letters
// scrolled back to their start, and the label "Key" that clicks its box.

#include <string>
#include <vector>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "shown_form.h"

namespace quirlomat {
namespace {

using testing::ShownForm;

TEST(Form1Keyboard, AltKeysMoveTheFocusFromAnywhereAndChangeNothing) {
    struct Case {
        Qt::Key key;
        const char* target;
    };
    const Case cases[] = {
        {Qt::Key_L, "txtLaenge"},
        {Qt::Key_K, "cbKey"},
        {Qt::Key_Z, "txtKeyLetters"},
        {Qt::Key_E, "Command1"},
    };
    for (const char* from : {"Command1", "txtLaenge", "cbKey", "txtKeyLetters"}) {
        for (const Case& c : cases) {
            ShownForm w;
            ASSERT_TRUE(w.active);
            QWidget* start = w.Find<QWidget>(from);
            start->setFocus();
            QTest::keyClick(start, c.key, Qt::AltModifier);
            const std::string where = std::string(from) + " -> " + c.target;
            EXPECT_EQ(QApplication::focusWidget(), w.Find<QWidget>(c.target)) << where;
            EXPECT_EQ(w.txtLaenge()->text(), QStringLiteral("63")) << where;
            EXPECT_EQ(w.txtKeyLetters()->text().size(), 80) << where;
            EXPECT_TRUE(w.cbKey()->isChecked()) << where << ": Alt+K only goes to the box";
            EXPECT_EQ(w.clipboard.calls, 0) << where << ": Alt+E only goes to the button";
            EXPECT_EQ(w.end.calls, 0) << where;
        }
    }
}

TEST(Form1Keyboard, AnAccessKeyToADisabledBoxLeavesTheFocusWhereItIs) {
    ShownForm w;
    ASSERT_TRUE(w.active);
    QTest::mouseClick(w.cbKey(), Qt::LeftButton);
    ASSERT_FALSE(w.txtKeyLetters()->isEnabled());
    QTest::keyClick(w.cbKey(), Qt::Key_Z, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), w.cbKey());
}

TEST(Form1Keyboard, AltChordsNeverTypeIntoABox) {
    struct Case {
        const char* box;
        Qt::Key key;
        const char* text;
    };
    const Case cases[] = {
        {"txtLaenge", Qt::Key_1, "1"},     {"txtLaenge", Qt::Key_L, "l"},
        {"txtLaenge", Qt::Key_X, "x"},     {"txtKeyLetters", Qt::Key_K, "k"},
        {"txtKeyLetters", Qt::Key_E, "e"}, {"txtKeyLetters", Qt::Key_Q, "q"},
        {"txtKeyLetters", Qt::Key_5, "5"},
    };
    for (const Case& c : cases) {
        ShownForm w;
        ASSERT_TRUE(w.active);
        auto* box = w.Find<QLineEdit>(c.box);
        box->setFocus();
        box->end(false);
        const QString before = box->text();
        QTest::keyClick(box, c.key, Qt::AltModifier);
        // As the X server sends it: the chord with the character it would type.
        QTest::sendKeyEvent(QTest::Click, QApplication::focusWidget(), c.key,
                            QString::fromLatin1(c.text), Qt::AltModifier);
        EXPECT_EQ(box->text(), before) << c.box << " Alt+" << c.text;
        EXPECT_EQ(w.lblLetters()->text(), QStringLiteral("80")) << c.box << " Alt+" << c.text;
    }
}

TEST(Form1Keyboard, OtherChordsStillType) {
    ShownForm w;
    ASSERT_TRUE(w.active);
    w.txtKeyLetters()->setFocus();
    w.txtKeyLetters()->end(false);
    // AltGr on Windows comes as Ctrl+Alt: "@" on a German keyboard.
    QTest::sendKeyEvent(QTest::Click, w.txtKeyLetters(), Qt::Key_Q, QStringLiteral("@"),
                        Qt::ControlModifier | Qt::AltModifier);
    QTest::sendKeyEvent(QTest::Click, w.txtKeyLetters(), Qt::Key_A, QStringLiteral("A"),
                        Qt::ShiftModifier);
    EXPECT_TRUE(w.txtKeyLetters()->text().endsWith(QStringLiteral("@A")))
        << w.txtKeyLetters()->text().toStdString();
    EXPECT_EQ(w.lblLetters()->text(), QStringLiteral("82"));
}

TEST(Form1Keyboard, TheKeyLettersShowTheirStartAgainWhenTheFocusLeaves) {
    struct Case {
        const char* what;
        void (*leave)(ShownForm&);
    };
    const Case cases[] = {
        {"Tab", [](ShownForm& w) { QTest::keyClick(w.txtKeyLetters(), Qt::Key_Tab); }},
        {"Shift+Tab",
         [](ShownForm& w) { QTest::keyClick(w.txtKeyLetters(), Qt::Key_Tab, Qt::ShiftModifier); }},
        {"an access key",
         [](ShownForm& w) { QTest::keyClick(w.txtKeyLetters(), Qt::Key_L, Qt::AltModifier); }},
        {"a click", [](ShownForm& w) { QTest::mouseClick(w.txtLaenge(), Qt::LeftButton); }},
    };
    for (const Case& c : cases) {
        ShownForm w;
        ASSERT_TRUE(w.active);
        // Tab selects everything and leaves the cursor at the end, the text scrolled along.
        w.cbKey()->setFocus();
        QTest::keyClick(w.cbKey(), Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), w.txtKeyLetters()) << c.what;
        ASSERT_EQ(w.txtKeyLetters()->cursorPosition(), 80) << c.what;
        c.leave(w);
        EXPECT_NE(QApplication::focusWidget(), w.txtKeyLetters()) << c.what;
        EXPECT_EQ(w.txtKeyLetters()->cursorPosition(), 0) << c.what;
        EXPECT_FALSE(w.txtKeyLetters()->hasSelectedText()) << c.what;
    }
}

TEST(Form1Keyboard, LeavingTheWindowKeepsTheCursorWhereItWas) {
    ShownForm w;
    ASSERT_TRUE(w.active);
    w.txtKeyLetters()->setFocus();
    w.txtKeyLetters()->setCursorPosition(40);
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    EXPECT_EQ(w.txtKeyLetters()->cursorPosition(), 40);
}

TEST(Form1Keyboard, AClickOnTheLabelKeyIsAClickOnTheBox) {
    // The same sequence of clicks, once on the box and once on its label, must leave the
    // window in the same state after every click: cbKey_Click ran the same way.
    ShownForm onBox;
    ShownForm onLabel;
    ASSERT_TRUE(onLabel.active);
    onBox.txtKeyLetters()->setText(QStringLiteral("  edited  "));
    onLabel.txtKeyLetters()->setText(QStringLiteral("  edited  "));
    for (int click = 0; click < 3; ++click) {
        QTest::mouseClick(onBox.cbKey(), Qt::LeftButton);
        QTest::mouseClick(onLabel.Label2(), Qt::LeftButton);
        EXPECT_EQ(onLabel.cbKey()->isChecked(), onBox.cbKey()->isChecked()) << click;
        EXPECT_EQ(onLabel.txtKeyLetters()->isEnabled(), onBox.txtKeyLetters()->isEnabled())
            << click;
        EXPECT_EQ(onLabel.txtKeyLetters()->text(), onBox.txtKeyLetters()->text()) << click;
        EXPECT_EQ(onLabel.lblLetters()->text(), onBox.lblLetters()->text()) << click;
        EXPECT_EQ(QApplication::focusWidget(), onLabel.cbKey()) << click;
    }
    // Three clicks: unticked, ticked (the standard set back), unticked.
    EXPECT_FALSE(onLabel.cbKey()->isChecked());
    EXPECT_EQ(onLabel.lblLetters()->text(), QStringLiteral("80"));
}

TEST(Form1Keyboard, OnlyAFullLeftClickOnTheLabelCounts) {
    struct Case {
        const char* what;
        void (*act)(QWidget* label);
        bool toggles;
    };
    const Case cases[] = {
        {"right button", [](QWidget* l) { QTest::mouseClick(l, Qt::RightButton); }, false},
        {"released outside",
         [](QWidget* l) {
             QTest::mousePress(l, Qt::LeftButton);
             QTest::mouseRelease(l, Qt::LeftButton, {}, QPoint(l->width() + 5, 2));
         },
         false},
        {"double click", [](QWidget* l) { QTest::mouseDClick(l, Qt::LeftButton); }, false},
        {"left click", [](QWidget* l) { QTest::mouseClick(l, Qt::LeftButton); }, true},
    };
    for (const Case& c : cases) {
        ShownForm w;
        ASSERT_TRUE(w.active);
        c.act(w.Label2());
        EXPECT_EQ(w.cbKey()->isChecked(), !c.toggles) << c.what;
        EXPECT_EQ(w.txtKeyLetters()->isEnabled(), !c.toggles) << c.what;
    }
}

}  // namespace
}  // namespace quirlomat
