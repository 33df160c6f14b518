// What the window tells assistive technology, read through Qt's accessibility interfaces. The
// same, through the real AT-SPI bus, is in tests/accessibility.

#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include "shown_form.h"

namespace quirlomat {
namespace {

using testing::ShownForm;

QAccessibleInterface* Accessible(QObject* object) {
    return QAccessible::queryAccessibleInterface(object);
}

QString Text(QObject* object, QAccessible::Text which) {
    QAccessibleInterface* accessible = Accessible(object);
    return accessible == nullptr ? QStringLiteral("<none>") : accessible->text(which);
}

TEST(Form1Accessibility, TheWindowIsADialogNamedByItsCaption) {
    ShownForm w;
    QAccessibleInterface* window = Accessible(w.form.get());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->role(), QAccessible::Dialog);
    EXPECT_EQ(window->text(QAccessible::Name), QStringLiteral("ZANDOs Quirlomat"));
    EXPECT_EQ(window->childCount(), 7);

    // Only dialog windows: an ordinary window and the controls keep their roles.
    QWidget plain;
    EXPECT_EQ(Accessible(&plain)->role(), QAccessible::Client);
    QDialog dialog;
    EXPECT_EQ(Accessible(&dialog)->role(), QAccessible::Dialog);
    EXPECT_EQ(Accessible(w.Command1())->role(), QAccessible::Button);
    EXPECT_EQ(Accessible(w.cbKey())->role(), QAccessible::CheckBox);
    EXPECT_EQ(Accessible(w.txtKeyLetters())->role(), QAccessible::EditableText);
}

TEST(Form1Accessibility, TheKeyLettersBoxTellsTheCountAfterEveryChange) {
    ShownForm w;
    ASSERT_TRUE(w.active);
    const auto description = [&w] { return Text(w.txtKeyLetters(), QAccessible::Description); };
    EXPECT_TRUE(description().startsWith(QStringLiteral("80 mögliche Zeichen.")))
        << description().toStdString();

    w.txtKeyLetters()->setFocus();
    w.txtKeyLetters()->end(false);
    QTest::keyClicks(w.txtKeyLetters(), QStringLiteral("xy"));
    EXPECT_TRUE(description().startsWith(QStringLiteral("82 mögliche Zeichen.")))
        << description().toStdString();

    const std::pair<QString, QString> cases[] = {
        {QString(), QStringLiteral("0 mögliche Zeichen.")},
        {QStringLiteral("a"), QStringLiteral("1 mögliches Zeichen.")},
        {QStringLiteral("ab"), QStringLiteral("2 mögliche Zeichen.")},
        {QStringLiteral("a\U0001F600"), QStringLiteral("2 mögliche Zeichen.")},  // as the label
    };
    for (const auto& [text, start] : cases) {
        w.txtKeyLetters()->setText(text);
        EXPECT_TRUE(description().startsWith(start)) << description().toStdString();
        EXPECT_TRUE(description().startsWith(w.lblLetters()->text() + QLatin1Char(' ')));
    }

    // Ticking the box again puts the standard set back, and the count with it.
    QTest::mouseClick(w.cbKey(), Qt::LeftButton);
    QTest::mouseClick(w.cbKey(), Qt::LeftButton);
    EXPECT_TRUE(description().startsWith(QStringLiteral("80 mögliche Zeichen.")))
        << description().toStdString();
}

}  // namespace
}  // namespace quirlomat
