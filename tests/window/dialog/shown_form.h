#pragma once

#include <memory>
#include <ostream>
#include <utility>
#include <vector>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QStyle>
#include <QTest>

#include "fake_services.h"
#include "support/scripted_random.h"
#include "window/dialog/form1.h"

namespace quirlomat::testing {

// The window as the program shows it, with fake services: loaded, shown and active. values
// are what the random source gives, in turn.
struct ShownForm {
    explicit ShownForm(std::vector<float> values = {0.0F}) : random(std::move(values)) {
        form = std::make_unique<Form1>(FormServices{random, clipboard, errors, end});
        form->Form_Load();
        form->show();
        active = QTest::qWaitForWindowActive(form.get());
    }

    template <typename Control>
    Control* Find(const char* name) const {
        return form->findChild<Control*>(QString::fromLatin1(name));
    }
    QPushButton* Command1() const { return Find<QPushButton>("Command1"); }
    QLineEdit* txtLaenge() const { return Find<QLineEdit>("txtLaenge"); }
    QLabel* Label2() const { return Find<QLabel>("Label2"); }
    QCheckBox* cbKey() const { return Find<QCheckBox>("cbKey"); }
    QLineEdit* txtKeyLetters() const { return Find<QLineEdit>("txtKeyLetters"); }
    QLabel* lblLetters() const { return Find<QLabel>("lblLetters"); }

    ScriptedRandom random;
    FakeClipboard clipboard;
    FakeErrorReport errors;
    FakeProgramEnd end;
    std::unique_ptr<Form1> form;
    bool active = false;
};

// Runs a test under another application style and puts the previous one back afterwards.
class StyleScope {
public:
    explicit StyleScope(const QString& name) : previous_(QApplication::style()->name()) {
        QApplication::setStyle(name);
    }
    ~StyleScope() { QApplication::setStyle(previous_); }
    StyleScope(const StyleScope&) = delete;
    StyleScope& operator=(const StyleScope&) = delete;

private:
    QString previous_;
};

}  // namespace quirlomat::testing

// Readable failure messages for texts.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
