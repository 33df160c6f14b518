#include "window/dialog/form1.h"

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFontInfo>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QToolTip>
#include <gtest/gtest.h>

#include "fake_services.h"
#include "generator/standard_key_letters.h"
#include "shown_form.h"
#include "support/scripted_random.h"

namespace quirlomat {
namespace {

using testing::FakeClipboard;
using testing::FakeErrorReport;
using testing::FakeProgramEnd;
using testing::ScriptedRandom;
using testing::ShownForm;

const QString kStandard =
    QStringView(StandardKeyLetters.data(), static_cast<qsizetype>(StandardKeyLetters.size()))
        .toString();

// Types text as keystrokes, one a character, each bringing its character as the key's text:
// how an input method delivers characters that have no key of their own.
void TypeText(QWidget* widget, const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype units = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, text.mid(i, units),
                            Qt::NoModifier);
        i += units - 1;
    }
}

// The shown window, with the user's ways of typing and clicking.
class Window : public ShownForm {
public:
    using ShownForm::ShownForm;

    // Types text into the key-letters box as the user would, replacing what it held.
    void TypeKeyLetters(const QString& text) const {
        txtKeyLetters()->setFocus();
        txtKeyLetters()->selectAll();
        QTest::keyClick(txtKeyLetters(), Qt::Key_Delete);
        TypeText(txtKeyLetters(), text);
    }
    void TypeLength(const QString& text) const {
        txtLaenge()->setFocus();
        txtLaenge()->selectAll();
        QTest::keyClick(txtLaenge(), Qt::Key_Delete);
        TypeText(txtLaenge(), text);
    }
    void ClickCheckBox() const { QTest::mouseClick(cbKey(), Qt::LeftButton); }
    void ClickErstellen() const { QTest::mouseClick(Command1(), Qt::LeftButton); }
};

QString AccessibleText(QWidget* widget, QAccessible::Text which) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    return accessible == nullptr ? QStringLiteral("<none>") : accessible->text(which);
}

TEST(Form1, OpensWithTheStoredStartState) {
    Window w;
    ASSERT_TRUE(w.active);
    EXPECT_EQ(w.form->windowTitle(), QStringLiteral("ZANDOs Quirlomat"));
    EXPECT_EQ(w.Command1()->text(), QStringLiteral("Erstellen"));
    EXPECT_EQ(w.Find<QLabel>("Label1")->text(), QStringLiteral("Länge:"));
    EXPECT_EQ(w.Find<QLabel>("Label2")->text(), QStringLiteral("Key"));
    EXPECT_EQ(w.cbKey()->text(), QString());
    EXPECT_EQ(w.txtLaenge()->text(), QStringLiteral("63"));
    EXPECT_TRUE(w.cbKey()->isChecked());
    EXPECT_EQ(w.txtKeyLetters()->text(), kStandard);
    EXPECT_EQ(w.txtKeyLetters()->cursorPosition(), 0) << "the start of the letters is in sight";
    EXPECT_EQ(w.lblLetters()->text(), QStringLiteral("80"));
    EXPECT_EQ(QApplication::focusWidget(), w.Command1());

    for (const char* name :
         {"Command1", "txtLaenge", "Label1", "cbKey", "Label2", "txtKeyLetters", "lblLetters"}) {
        QWidget* control = w.Find<QWidget>(name);
        ASSERT_NE(control, nullptr) << name;
        EXPECT_TRUE(control->isEnabled()) << name;
        EXPECT_TRUE(control->isVisible()) << name;
    }

    EXPECT_TRUE(w.clipboard.texts.empty());
    EXPECT_EQ(w.end.calls, 0);
}

// What the user sees when the mouse rests on each control.
TEST(Form1, ShowsItsTipsWhereTheMouseRests) {
    Window w;
    // Those without a tip first: a tip once shown fades out only after a while.
    const std::pair<const char*, QString> tips[] = {
        {"txtLaenge", QString()},
        {"Label1", QString()},
        {"Label2", QString()},
        {"txtKeyLetters", QString()},
        {"Command1", QStringLiteral("Passwort in die Zwischenablage")},
        {"cbKey", QStringLiteral("WPA-Key / Standard-Vorgabe")},
        {"lblLetters", QStringLiteral("mögliche Zeichen")},
    };
    ASSERT_FALSE(QToolTip::isVisible());
    for (const auto& [name, tip] : tips) {
        QWidget* control = w.Find<QWidget>(name);
        const QPoint middle = control->rect().center();
        QHelpEvent hover(QEvent::ToolTip, middle, control->mapToGlobal(middle));
        QApplication::sendEvent(control, &hover);
        EXPECT_EQ(QToolTip::isVisible(), !tip.isEmpty()) << name;
        if (!tip.isEmpty()) {
            EXPECT_EQ(QToolTip::text(), tip) << name;
        }
    }
    QToolTip::hideText();
}

TEST(Form1, KeepsTheStoredGeometryInPixels) {
    Window w;
    EXPECT_EQ(w.form->size(), QSize(234, 96));
    EXPECT_EQ(w.form->minimumSize(), QSize(234, 96));
    EXPECT_EQ(w.form->maximumSize(), QSize(234, 96));

    const std::pair<const char*, QRect> controls[] = {
        {"Command1", {120, 8, 105, 25}},     {"txtLaenge", {56, 8, 49, 19}},
        {"Label1", {9, 8, 33, 17}},          {"Label2", {8, 32, 18, 13}},
        {"txtKeyLetters", {8, 56, 217, 27}}, {"lblLetters", {80, 35, 49, 25}},
    };
    for (const auto& [name, rect] : controls) {
        EXPECT_EQ(w.Find<QWidget>(name)->geometry(), rect) << name;
    }

    // The check box keeps its corner and height but is as wide as its indicator needs.
    QCheckBox* box = w.cbKey();
    EXPECT_EQ(box->pos(), QPoint(56, 30));
    EXPECT_EQ(box->height(), 25);
    const int indicator = box->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, box);
    EXPECT_EQ(box->width(), std::max(9, indicator));
    QStyleOptionButton option;
    option.initFrom(box);
    EXPECT_TRUE(box->rect().contains(
        box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box)))
        << "indicator cut off";
    EXPECT_LT(box->geometry().right(), w.lblLetters()->geometry().left()) << "overlaps the count";
}

TEST(Form1, IsAFixedDialogWithCloseBoxOnly) {
    Window w;
    const Qt::WindowFlags flags = w.form->windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Dialog);
    EXPECT_TRUE(flags & Qt::WindowTitleHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(flags & Qt::CustomizeWindowHint) << "otherwise the platform adds its buttons";
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowContextHelpButtonHint);
}

TEST(Form1, CaptionsFitTheirControlsAndKeyLettersAreLargerThanTheCount) {
    Window w;
    auto* label1 = w.Find<QLabel>("Label1");
    auto* label2 = w.Find<QLabel>("Label2");
    for (QLabel* label : {label1, label2}) {
        const QFontMetrics metrics(label->font());
        EXPECT_LE(metrics.horizontalAdvance(label->text()), label->contentsRect().width())
            << label->text().toStdString();
        EXPECT_LE(metrics.height(), label->contentsRect().height()) << label->text().toStdString();
    }
    QPushButton* button = w.Command1();
    QStyleOptionButton option;
    option.initFrom(button);
    const QRect room =
        button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    const QFontMetrics buttonMetrics(button->font());
    EXPECT_LE(buttonMetrics.horizontalAdvance(button->text()), room.width());
    EXPECT_LE(buttonMetrics.height(), room.height());

    // About 8 points: no smaller than 7, no larger than 9 points at 96 dpi.
    const int dialogPixels = QFontInfo(label1->font()).pixelSize();
    EXPECT_GE(dialogPixels, 9);
    EXPECT_LE(dialogPixels, 12);

    // The key letters at about 12 points, the count at about 10 and the captions at about
    // 8, as they are drawn: each a step larger than the next, none bold.
    const QFont letters = w.txtKeyLetters()->font();
    const QFont count = w.lblLetters()->font();
    EXPECT_GT(QFontMetrics(letters).height(), QFontMetrics(count).height());
    EXPECT_GT(QFontMetrics(count).height(), QFontMetrics(label1->font()).height());
    for (const QFont& font : {letters, count, label1->font()}) {
        EXPECT_EQ(QFontInfo(font).weight(), QFont::Normal);
        EXPECT_FALSE(QFontInfo(font).italic());
    }
    // The letters are not cut off at top or bottom.
    EXPECT_LT(QFontMetrics(letters).height(), w.txtKeyLetters()->height());
}

TEST(Form1, TabMovesThroughTheControlsInTabOrder) {
    Window w;
    ASSERT_TRUE(w.active);
    const std::vector<QWidget*> order = {w.txtLaenge(), w.cbKey(), w.txtKeyLetters(), w.Command1()};
    for (QWidget* next : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next) << next->objectName().toStdString();
    }
    for (const char* label : {"Label1", "Label2", "lblLetters"}) {
        EXPECT_EQ(w.Find<QWidget>(label)->focusPolicy(), Qt::NoFocus) << label;
    }

    // A disabled key-letters box is passed over.
    w.ClickCheckBox();
    w.Command1()->setFocus();
    for (QWidget* next : {static_cast<QWidget*>(w.txtLaenge()), static_cast<QWidget*>(w.cbKey()),
                          static_cast<QWidget*>(w.Command1())}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next) << next->objectName().toStdString();
    }
}

TEST(Form1, CountFollowsEveryKeystroke) {
    Window w;
    w.TypeKeyLetters(QString());
    EXPECT_EQ(w.txtKeyLetters()->text(), QString());
    EXPECT_EQ(w.lblLetters()->text(), QStringLiteral("0"));

    const QString typed = QStringLiteral("ab c!");
    for (qsizetype i = 0; i < typed.size(); ++i) {
        QTest::keyClick(w.txtKeyLetters(), typed[i].toLatin1());
        EXPECT_EQ(w.lblLetters()->text(), QString::number(i + 1)) << i;
    }
    // One keystroke can bring a character outside the BMP: two UTF-16 units, one character.
    QTest::sendKeyEvent(QTest::Click, w.txtKeyLetters(), Qt::Key_unknown,
                        QStringLiteral("\U0001F600"), Qt::NoModifier);
    EXPECT_EQ(w.txtKeyLetters()->text().size(), 7);
    EXPECT_EQ(w.lblLetters()->text(), QStringLiteral("6"));
    QTest::keyClick(w.txtKeyLetters(), Qt::Key_Backspace);
    EXPECT_EQ(w.lblLetters()->text(), QStringLiteral("5")) << "the pair goes as one";
    EXPECT_EQ(AccessibleText(w.lblLetters(), QAccessible::Name),
              QStringLiteral("mögliche Zeichen: 5"));
}

TEST(Form1, CountIsTheNumberOfCharactersOfWhateverTheBoxHolds) {
    const std::pair<QString, QString> cases[] = {
        {QString(), QStringLiteral("0")},
        {QStringLiteral("a"), QStringLiteral("1")},
        {QStringLiteral("  a  "), QStringLiteral("5")},
        {QStringLiteral("äöü€"), QStringLiteral("4")},
        {QStringLiteral("a\U0001F600b"), QStringLiteral("3")},
        {QString(QChar(0xD800)), QStringLiteral("0")},  // half a character is dropped
        // Cut at the box's 32767 units, inside the last pair, whose first half goes too.
        {QStringLiteral("\U0001F600").repeated(20000), QStringLiteral("16383")},
        {QString(1000, QLatin1Char('x')), QStringLiteral("1000")},
    };
    Window w;
    for (const auto& [text, count] : cases) {
        // An assignment updates the count at once, within the assignment.
        w.txtKeyLetters()->setText(text);
        EXPECT_EQ(w.lblLetters()->text(), count) << text.toStdString();
    }
}

// Qt cuts a paste or a keystroke at the box's 32767 units, also between the halves of a
// character outside the BMP; the half left behind goes at once, wherever the cursor was.
TEST(Form1, TheKeyLettersBoxNeverKeepsHalfACharacter) {
    const QString emoji = QStringLiteral("\U0001F600");
    const struct {
        const char* what;
        QString before;
        int cursor;
        QString added;
        bool typed;
        int units;
        int cursorAfter;
        QString count;
    } cases[] = {
        {"paste", QString(), 0, emoji.repeated(20000), false, 32766, 32766,
         QStringLiteral("16383")},
        {"paste between two letters", QStringLiteral("ab"), 1, emoji.repeated(20000), false, 32766,
         32765, QStringLiteral("16384")},
        {"keystroke at the limit", QString(32766, QLatin1Char('x')), 32766, emoji, true, 32766,
         32766, QStringLiteral("32766")},
        {"lone halves pasted", QStringLiteral("ab"), 2,
         QString(QChar(0xDE00)) + QLatin1Char('c') + QChar(0xD83D), false, 3, 3,
         QStringLiteral("3")},
    };
    for (const auto& c : cases) {
        Window w;
        QLineEdit* box = w.txtKeyLetters();
        box->setText(c.before);
        box->setFocus();
        box->setCursorPosition(c.cursor);
        if (c.typed) {
            TypeText(box, c.added);
        } else {
            QApplication::clipboard()->setText(c.added);
            QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
        }
        EXPECT_EQ(box->text().size(), c.units) << c.what;
        EXPECT_TRUE(QStringView(box->text()).isValidUtf16()) << c.what;
        EXPECT_EQ(box->cursorPosition(), c.cursorAfter) << c.what;
        EXPECT_EQ(w.lblLetters()->text(), c.count) << c.what;
    }
}

TEST(Form1, UntickingDisablesTheLettersAndKeepsTextAndCount) {
    Window w;
    w.TypeKeyLetters(QStringLiteral("xyz"));
    w.ClickCheckBox();
    EXPECT_FALSE(w.cbKey()->isChecked());
    EXPECT_FALSE(w.txtKeyLetters()->isEnabled());
    EXPECT_EQ(w.txtKeyLetters()->text(), QStringLiteral("xyz"));
    EXPECT_EQ(w.lblLetters()->text(), QStringLiteral("3"));
    QTest::keyClicks(w.txtKeyLetters(), QStringLiteral("more"));
    EXPECT_EQ(w.txtKeyLetters()->text(), QStringLiteral("xyz")) << "a disabled box takes no input";
}

TEST(Form1, TickingRestoresTheStandardSetEvenAfterEdits) {
    Window w;
    w.TypeKeyLetters(QStringLiteral("  edited  "));
    w.ClickCheckBox();
    w.ClickCheckBox();
    EXPECT_TRUE(w.cbKey()->isChecked());
    EXPECT_TRUE(w.txtKeyLetters()->isEnabled());
    EXPECT_EQ(w.txtKeyLetters()->text(), kStandard);
    EXPECT_EQ(w.txtKeyLetters()->cursorPosition(), 0);
    EXPECT_EQ(w.lblLetters()->text(), QStringLiteral("80"));

    // The space bar toggles too, and each toggle is one click event.
    w.cbKey()->setFocus();
    QTest::keyClick(w.cbKey(), Qt::Key_Space);
    EXPECT_FALSE(w.txtKeyLetters()->isEnabled());
    QTest::keyClick(w.cbKey(), Qt::Key_Space);
    EXPECT_TRUE(w.txtKeyLetters()->isEnabled());
}

TEST(Form1, ErstellenUsesTheBoxTextUntrimmedAndEndsTheProgram) {
    struct Case {
        QString letters;
        QString length;
        std::vector<float> values;
        std::string expected;  // UTF-8
    };
    const Case cases[] = {
        // Blanks at both ends are letters: a third of the range each.
        {QStringLiteral(" a "),
         QStringLiteral("6"),
         {0.0F, 0.4F, 0.9F, 0.34F, 0.67F, 0.1F},
         " a a  "},
        {QStringLiteral("a\U0001F600"),
         QStringLiteral("2"),
         {0.75F, 0.25F},
         "\xF0\x9F\x98\x80"
         "a"},
        {kStandard, QStringLiteral(" 2.5 "), {0.0F, 0.99999994F}, "a%"},
    };
    for (const Case& c : cases) {
        Window w(c.values);
        w.TypeKeyLetters(c.letters);
        w.TypeLength(c.length);
        w.ClickErstellen();
        ASSERT_EQ(w.clipboard.texts.size(), 1U) << c.expected;
        EXPECT_EQ(w.clipboard.texts[0], c.expected);
        EXPECT_EQ(w.random.reseeds, 1U);
        EXPECT_EQ(w.end.calls, 1);
        EXPECT_TRUE(w.errors.messages.empty());
    }
}

TEST(Form1, ErstellenWithTheBoxUntickedDrawsCharacterCodes) {
    // The middle of the shares of codes 31, 128 (the euro sign in Windows-1252) and 255.
    Window w({0.5F / 225.0F, 97.5F / 225.0F, 224.5F / 225.0F});
    w.TypeLength(QStringLiteral("3"));
    w.ClickCheckBox();
    w.ClickErstellen();
    ASSERT_EQ(w.clipboard.texts.size(), 1U);
    EXPECT_EQ(w.clipboard.texts[0], "\x1F\xE2\x82\xAC\xC3\xBF");
    EXPECT_EQ(w.random.nexts, 3U);
    EXPECT_EQ(w.end.calls, 1);
}

TEST(Form1, LengthsBelowOneGiveAnEmptyTextOnTheClipboard) {
    for (const QString& length : {QStringLiteral("0"), QString(), QStringLiteral("-7"),
                                  QStringLiteral("abc"), QStringLiteral("0.5")}) {
        Window w;
        w.TypeLength(length);
        w.ClickErstellen();
        ASSERT_EQ(w.clipboard.texts.size(), 1U) << length.toStdString();
        EXPECT_EQ(w.clipboard.texts[0], "");
        EXPECT_EQ(w.end.calls, 1);
    }
}

TEST(Form1, LengthOverflowIsReportedAndTheWindowStaysForAnotherTry) {
    for (const QString& length : {QStringLiteral("32768"), QStringLiteral("-32769"),
                                  QStringLiteral("1e400"), QStringLiteral("32767.5")}) {
        Window w;
        w.TypeLength(length);
        w.ClickErstellen();
        ASSERT_EQ(w.errors.messages.size(), 1U) << length.toStdString();
        const std::string& message = w.errors.messages[0];
        EXPECT_NE(message.find("-32768 bis 32767"), std::string::npos) << message;
        EXPECT_NE(message.find("Laufzeitfehler '6': Überlauf"), std::string::npos) << message;
        EXPECT_EQ(w.clipboard.calls, 0);
        EXPECT_EQ(w.end.calls, 0);
        EXPECT_TRUE(w.form->isVisible());
        EXPECT_EQ(QApplication::focusWidget(), w.txtLaenge());
        EXPECT_EQ(w.txtLaenge()->selectedText(), length);

        // Typing replaces the selected length; the next try succeeds.
        QTest::keyClicks(w.txtLaenge(), QStringLiteral("4"));
        EXPECT_EQ(w.txtLaenge()->text(), QStringLiteral("4"));
        w.ClickErstellen();
        ASSERT_EQ(w.clipboard.texts.size(), 1U);
        EXPECT_EQ(w.clipboard.texts[0], "aaaa");
        EXPECT_EQ(w.end.calls, 1);
    }
}

TEST(Form1, AFailedErstellenStillTookTheBoxTextForTheNextTick) {
    // Erstellen stores the letters untrimmed; ticking the box again trims what was stored.
    Window w;
    w.TypeKeyLetters(QStringLiteral("  x y  "));
    w.TypeLength(QStringLiteral("99999"));
    w.ClickErstellen();
    ASSERT_EQ(w.errors.messages.size(), 1U);
    w.ClickCheckBox();
    w.ClickCheckBox();
    EXPECT_EQ(w.txtKeyLetters()->text(), QStringLiteral("x y"));
    EXPECT_EQ(w.lblLetters()->text(), QStringLiteral("3"));
}

TEST(Form1, AClipboardFailureOrLackOfMemoryIsReportedAndTheUserCanTryAgain) {
    const struct {
        const char* what;
        void (*fail)(FakeClipboard&);
        const char* message;
    } cases[] = {
        {"clipboard",
         [](FakeClipboard& c) {
             c.failure.emplace(ErrorNumber::kClipboardUnavailable, "das Hilfsprogramm fehlt");
         },
         "Laufzeitfehler '521': Zwischenablage kann nicht geöffnet werden: das Hilfsprogramm "
         "fehlt"},
        {"memory", [](FakeClipboard& c) { c.outOfMemory = true; },
         "Laufzeitfehler '7': Nicht genügend Speicher"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Window w;
        c.fail(w.clipboard);
        w.ClickErstellen();
        ASSERT_EQ(w.errors.messages.size(), 1U);
        EXPECT_EQ(w.errors.messages[0], c.message);
        EXPECT_EQ(w.end.calls, 0);
        EXPECT_TRUE(w.form->isVisible());

        w.clipboard.failure.reset();
        w.clipboard.outOfMemory = false;
        w.ClickErstellen();
        EXPECT_EQ(w.clipboard.texts.size(), 1U);
        EXPECT_EQ(w.end.calls, 1);
        EXPECT_EQ(w.errors.messages.size(), 1U);
    }
}

TEST(Form1, HandsEvenAOneCharacterPasswordOverFromSecretMemory) {
    for (const char* length : {"1", "3", "0"}) {
        Window w;
        w.TypeLength(QString::fromLatin1(length));
        w.ClickErstellen();
        ASSERT_EQ(w.clipboard.texts.size(), 1U) << length;
        EXPECT_EQ(w.clipboard.inlineTexts, 0) << length << " characters";
    }
}

TEST(Form1, NoEventProcedureRunsAfterTheProgramHasEnded) {
    Window w;
    w.ClickErstellen();
    w.ClickErstellen();
    QTest::keyClick(w.Command1(), Qt::Key_Return);
    w.ClickCheckBox();
    EXPECT_EQ(w.clipboard.calls, 1);
    EXPECT_EQ(w.end.calls, 1);
    EXPECT_TRUE(w.txtKeyLetters()->isEnabled()) << "the click on the check box ran cbKey_Click";
}

TEST(Form1, EnterPressesErstellenWhereverTheFocusIs) {
    const std::pair<const char*, Qt::Key> cases[] = {
        {"Command1", Qt::Key_Return},      {"txtLaenge", Qt::Key_Return}, {"cbKey", Qt::Key_Return},
        {"txtKeyLetters", Qt::Key_Return}, {"txtLaenge", Qt::Key_Enter},  {"cbKey", Qt::Key_Enter},
    };
    for (const auto& [name, key] : cases) {
        Window w;
        QWidget* control = w.Find<QWidget>(name);
        control->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), control) << name;
        const Qt::KeyboardModifiers modifiers =
            key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier;
        QTest::keyClick(control, key, modifiers);
        EXPECT_EQ(w.clipboard.texts.size(), 1U) << name;
        EXPECT_EQ(w.end.calls, 1) << name;
        EXPECT_TRUE(w.cbKey()->isChecked()) << name << ": Enter must not toggle the box";
    }
}

TEST(Form1, EscapeAndTheCloseBoxCloseWithoutTouchingTheClipboard) {
    for (const char* name : {"Command1", "txtLaenge", "cbKey", "txtKeyLetters"}) {
        Window w;
        QWidget* control = w.Find<QWidget>(name);
        control->setFocus();
        QTest::keyClick(control, Qt::Key_Escape);
        EXPECT_FALSE(w.form->isVisible()) << name;
        EXPECT_EQ(w.end.calls, 1) << name;
        EXPECT_EQ(w.clipboard.calls, 0) << name;
        EXPECT_EQ(w.random.reseeds, 0U) << name;
    }
    Window w;
    EXPECT_TRUE(w.form->close());
    EXPECT_EQ(w.end.calls, 1);
    EXPECT_EQ(w.clipboard.calls, 0);
}

}  // namespace
}  // namespace quirlomat
