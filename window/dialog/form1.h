#pragma once

#include <QString>
#include <QWidget>

#include "window/dialog/form_services.h"

class QCheckBox;
class QCloseEvent;
class QEvent;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;

namespace quirlomat {

// The program's only window: the length of the password, the choice between the key letters
// and all single-byte character codes, the key letters themselves, and "Erstellen", which puts
// a new password on the clipboard and ends the program. The password is never shown.
//
// The event procedures keep the names of the design they implement, as do the controls
// (also their object names, by which tests and accessibility tools find them).
class Form1 final : public QWidget {
public:
    explicit Form1(FormServices services, QWidget* parent = nullptr);

    // Runs once, before the window is first shown.
    void Form_Load();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void txtKeyLetters_Change();
    void cbKey_Click();
    void Command1_Click();

    void CreateControls();
    void ShowKeyLetters(const QString& letters);
    void ShowCount();

    // Runs an event procedure and reports the run-time errors it raises, so that none passes
    // silently and the window stays usable after one.
    template <typename Procedure>
    void RunEventProcedure(Procedure procedure);
    void Report(const std::string& message);

    FormServices services_;
    bool ended_ = false;  // the program has ended; no event procedure may run any more

    QString strKeyLetters;
    QString announcedCount_;  // the count last told to assistive technology

    QPushButton* Command1 = nullptr;
    QLineEdit* txtLaenge = nullptr;
    QLabel* Label1 = nullptr;
    QCheckBox* cbKey = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* txtKeyLetters = nullptr;
    QLabel* lblLetters = nullptr;
};

}  // namespace quirlomat
