#include "window/form1.h"

#include <algorithm>
#include <exception>
#include <new>
#include <string>
#include <string_view>

#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringView>
#include <QStyle>
#include <QStyleOptionButton>

#include "generator/create_password.h"
#include "generator/standard_key_letters.h"
#include "runtime/decimal_text.h"
#include "runtime/errors.h"
#include "runtime/text.h"
#include "runtime/utf8.h"
#include "secret/secret_string.h"
#include "window/dialog_fonts.h"
#include "window/layout.h"

namespace quirlomat {

namespace {

// A fixed dialog frame: caption and close box, no minimize or maximize button, not resizable.
constexpr Qt::WindowFlags kWindowFlags =
    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
    Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;

const char kLengthMessage[] = "Die Länge muss eine ganze Zahl von -32768 bis 32767 sein.";

std::u16string_view View(const QString& text) {
    return {QStringView(text).utf16(), static_cast<std::size_t>(text.size())};
}

QString FromView(std::u16string_view text) {
    return QStringView(text.data(), static_cast<qsizetype>(text.size())).toString();
}

void Place(QWidget* control, const char* name, const TwipsRect& twips) {
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(twips.ToPixels());
}

void Describe(QWidget* control, const QString& name, const QString& description) {
    control->setAccessibleName(name);
    control->setAccessibleDescription(description);
}

}  // namespace

Form1::Form1(FormServices services, QWidget* parent)
    : QWidget(parent, kWindowFlags), services_(services) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("ZANDOs Quirlomat"));
    setFixedSize(PixelsFromTwips(layout::kClientWidth), PixelsFromTwips(layout::kClientHeight));
    CreateControls();

    // Connected only now, so that the stored start values raise no events.
    connect(txtKeyLetters, &QLineEdit::textChanged, this,
            [this] { RunEventProcedure([this] { txtKeyLetters_Change(); }); });
    connect(cbKey, &QCheckBox::toggled, this,
            [this] { RunEventProcedure([this] { cbKey_Click(); }); });
    connect(Command1, &QPushButton::clicked, this,
            [this] { RunEventProcedure([this] { Command1_Click(); }); });
}

void Form1::CreateControls() {
    // Created in tab order, which is also the order focus takes through them.
    Command1 = new QPushButton(QStringLiteral("Erstellen"), this);
    Place(Command1, "Command1", layout::kCommand1);
    Command1->setToolTip(QStringLiteral("Passwort in die Zwischenablage"));
    Command1->setDefault(true);
    Describe(Command1, QStringLiteral("Erstellen"),
             QStringLiteral("Passwort in die Zwischenablage"));

    txtLaenge = new QLineEdit(QStringLiteral("63"), this);
    Place(txtLaenge, "txtLaenge", layout::kTxtLaenge);
    txtLaenge->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Describe(txtLaenge, QStringLiteral("Länge"),
             QStringLiteral("Anzahl der Zeichen des Passworts"));

    Label1 = new QLabel(QStringLiteral("Länge:"), this);
    Place(Label1, "Label1", layout::kLabel1);
    Label1->setBuddy(txtLaenge);
    Describe(Label1, QStringLiteral("Länge:"), QStringLiteral("Beschriftung des Längenfelds"));

    cbKey = new QCheckBox(this);
    Place(cbKey, "cbKey", layout::kCbKey);
    // The stored width cuts the indicator off in every current style; the corner stays.
    const int indicator = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, cbKey);
    cbKey->resize(std::max(cbKey->width(), indicator), cbKey->height());
    cbKey->setChecked(true);
    cbKey->setToolTip(QStringLiteral("WPA-Key / Standard-Vorgabe"));
    Describe(cbKey, QStringLiteral("Key"), QStringLiteral("WPA-Key / Standard-Vorgabe"));

    Label2 = new QLabel(QStringLiteral("Key"), this);
    Place(Label2, "Label2", layout::kLabel2);
    Label2->setBuddy(cbKey);
    Describe(Label2, QStringLiteral("Key"), QStringLiteral("Beschriftung des Kontrollkästchens"));

    txtKeyLetters = new QLineEdit(this);
    Place(txtKeyLetters, "txtKeyLetters", layout::kTxtKeyLetters);
    txtKeyLetters->setFont(KeyLettersFont());
    Describe(txtKeyLetters, QStringLiteral("Zeichenvorrat"),
             QStringLiteral("Zeichen, aus denen das Passwort gezogen wird"));

    lblLetters = new QLabel(this);
    Place(lblLetters, "lblLetters", layout::kLblLetters);
    lblLetters->setFont(CountFont());
    lblLetters->setToolTip(QStringLiteral("mögliche Zeichen"));
    lblLetters->setAccessibleDescription(QStringLiteral("mögliche Zeichen"));

    for (QLabel* label : {Label1, Label2, lblLetters}) {
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setTextFormat(Qt::PlainText);
    }

    QStyleOptionButton button;
    button.initFrom(Command1);
    button.features = QStyleOptionButton::DefaultButton;
    const QRect buttonText =
        style()->subElementRect(QStyle::SE_PushButtonContents, &button, Command1);
    setFont(ShrunkToFit(DialogFont(), {{Label1->text(), Label1->size()},
                                       {Label2->text(), Label2->size()},
                                       {Command1->text(), buttonText.size()}}));

    setTabOrder(Command1, txtLaenge);
    setTabOrder(txtLaenge, cbKey);
    setTabOrder(cbKey, txtKeyLetters);
    Command1->setFocus();
}

void Form1::Form_Load() {
    strKeyLetters = FromView(StandardKeyLetters);
    ShowKeyLetters(strKeyLetters);
    ShowCount();
}

void Form1::txtKeyLetters_Change() {
    ShowCount();
}

void Form1::cbKey_Click() {
    strKeyLetters = FromView(TrimBlanks(View(strKeyLetters)));
    if (cbKey->isChecked()) {
        ShowKeyLetters(strKeyLetters);
        txtKeyLetters->setEnabled(true);
    } else {
        txtKeyLetters->setEnabled(false);
    }
}

void Form1::Command1_Click() {
    strKeyLetters = txtKeyLetters->text();
    const PasswordMode mode =
        cbKey->isChecked() ? PasswordMode::kKeyLetters : PasswordMode::kCharacterCodes;
    {
        // Here the password lives only in secret memory, and only for this block.
        const auto password = CreatePassword<SecretText>(
            View(strKeyLetters), View(txtLaenge->text()), mode, services_.random);
        services_.clipboard.SetText(EncodeUtf8<SecretBytes>(password));
    }
    services_.programEnd.End();
    ended_ = true;
}

void Form1::ShowKeyLetters(const QString& letters) {
    // Assigning runs txtKeyLetters_Change at once, inside setText, whenever the text changes.
    txtKeyLetters->setText(letters);
    // setText leaves the cursor at the end, which would scroll the start out of sight.
    txtKeyLetters->setCursorPosition(0);
}

void Form1::ShowCount() {
    const QString count = FromView(DecimalText(CharacterCount(View(txtKeyLetters->text()))));
    lblLetters->setText(count);
    lblLetters->setAccessibleName(QStringLiteral("mögliche Zeichen: ") + count);
}

template <typename Procedure>
void Form1::RunEventProcedure(Procedure procedure) {
    if (ended_) {
        return;
    }
    try {
        procedure();
    } catch (const RunTimeError& error) {
        if (error.number() == ErrorNumber::kOverflow) {
            // Only the length is converted to a number that can overflow.
            Report(std::string(kLengthMessage) + "\n\n" + error.Line());
            txtLaenge->setFocus();
            txtLaenge->selectAll();
        } else {
            Report(error.Line());
        }
    } catch (const std::bad_alloc&) {
        Report(RunTimeError(ErrorNumber::kOutOfMemory, {}).Line());
    }
}

void Form1::Report(const std::string& message) {
    services_.errorReport.Show(message);
}

void Form1::keyPressEvent(QKeyEvent* event) {
    // Keys reach the window only when the control with the focus has no use for them.
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    const bool plain = modifiers == Qt::NoModifier ||
                       (modifiers == Qt::KeypadModifier && event->key() == Qt::Key_Enter);
    if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        Command1->click();
        return;
    }
    if (plain && event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void Form1::closeEvent(QCloseEvent* event) {
    event->accept();
    if (!ended_) {
        ended_ = true;
        services_.programEnd.End();
    }
}

}  // namespace quirlomat
