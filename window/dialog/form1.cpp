#include "window/dialog/form1.h"

#include <algorithm>
#include <exception>
#include <initializer_list>
#include <new>
#include <string>
#include <string_view>

#include <QCheckBox>
#include <QCloseEvent>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringView>
#include <QStyle>
#include <QStyleOptionButton>
#include <QValidator>

#include "generator/create_password.h"
#include "generator/standard_key_letters.h"
#include "runtime/decimal_text.h"
#include "runtime/errors.h"
#include "runtime/text.h"
#include "runtime/utf8.h"
#include "secret/secret_string.h"
#include "window/dialog/access_keys.h"
#include "window/dialog/accessibility.h"
#include "window/dialog/dialog_fonts.h"
#include "window/dialog/focus_ring.h"
#include "window/dialog/label_click.h"
#include "window/dialog/layout.h"
#include "window/dialog/show_start.h"

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

// The label beside control, its buddy, named for assistive technology by the caption it shows.
QLabel* LabelOf(QWidget* control, const QString& caption, const char* name, const TwipsRect& twips,
                QWidget* form) {
    auto* label = new QLabel(caption, form);
    Place(label, name, twips);
    label->setBuddy(control);
    label->setAccessibleName(caption);
    return label;
}

// Enter, from the main keyboard or the keypad, without a modifier.
bool IsPlainEnter(const QKeyEvent& key) {
    const Qt::KeyboardModifiers modifiers = key.modifiers();
    if (key.key() == Qt::Key_Return) {
        return modifiers == Qt::NoModifier;
    }
    return key.key() == Qt::Key_Enter &&
           (modifiers == Qt::NoModifier || modifiers == Qt::KeypadModifier);
}

// Keeps whole characters only. Qt cuts whatever would make the box longer than its 32767
// units at that length, without regard to surrogate pairs, so that a paste or a keystroke at
// the limit can leave the first half of a character outside the BMP behind, which would
// count and be drawn as a key letter of its own; a pasted text may bring lone halves too.
// The box drops every lone half at once, and the count follows.
class WholeCharacters final : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString& input, int& pos) const override {
        if (QStringView(input).isValidUtf16()) {
            return Acceptable;
        }
        QString whole;
        whole.reserve(input.size());
        int cursor = pos;
        for (qsizetype i = 0; i < input.size(); ++i) {
            const QChar c = input[i];
            bool lone = false;
            if (c.isHighSurrogate()) {
                lone = i + 1 == input.size() || !input[i + 1].isLowSurrogate();
            } else if (c.isLowSurrogate()) {
                lone = i == 0 || !input[i - 1].isHighSurrogate();
            }
            if (!lone) {
                whole.append(c);
            } else if (i < pos) {
                --cursor;
            }
        }
        input = whole;
        pos = cursor;
        return Acceptable;
    }
};

// What a screen reader says about the key letters, with the count that the label beside the
// check box shows, so that the box tells it itself while it has the focus.
QString CountText(const QString& count) {
    return count == QLatin1String("1") ? QStringLiteral("1 mögliches Zeichen")
                                       : count + QStringLiteral(" mögliche Zeichen");
}

}  // namespace

Form1::Form1(FormServices services, QWidget* parent)
    : QWidget(parent, kWindowFlags), services_(services) {
    ReportDialogWindowsAsDialogs();
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
             QStringLiteral("Erstellt ein Passwort, kopiert es in die Zwischenablage und beendet "
                            "das Programm. Das Passwort wird nicht angezeigt."));

    txtLaenge = new QLineEdit(QStringLiteral("63"), this);
    Place(txtLaenge, "txtLaenge", layout::kTxtLaenge);
    txtLaenge->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Describe(txtLaenge, QStringLiteral("Länge"),
             QStringLiteral("Anzahl der Zeichen des Passworts"));

    Label1 = LabelOf(txtLaenge, QStringLiteral("Länge:"), "Label1", layout::kLabel1, this);

    cbKey = new QCheckBox(this);
    Place(cbKey, "cbKey", layout::kCbKey);
    // The stored width cuts the indicator off in every current style; the corner stays.
    const int indicator = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, cbKey);
    cbKey->resize(std::max(cbKey->width(), indicator), cbKey->height());
    cbKey->setChecked(true);
    cbKey->setToolTip(QStringLiteral("WPA-Key / Standard-Vorgabe"));
    Describe(cbKey, QStringLiteral("Key"),
             QStringLiteral("WPA-Key / Standard-Vorgabe. Angekreuzt: Das Passwort wird aus den "
                            "Zeichen im Feld darunter gezogen. Nicht angekreuzt: aus allen "
                            "Zeichencodes 31 bis 255. Erneutes Ankreuzen stellt die 80 "
                            "Standardzeichen wieder her."));

    Label2 = LabelOf(cbKey, QStringLiteral("Key"), "Label2", layout::kLabel2, this);

    txtKeyLetters = new QLineEdit(this);
    Place(txtKeyLetters, "txtKeyLetters", layout::kTxtKeyLetters);
    txtKeyLetters->setFont(KeyLettersFont());
    txtKeyLetters->setValidator(new WholeCharacters(txtKeyLetters));
    // The description, with the count, comes with the text at load.
    txtKeyLetters->setAccessibleName(QStringLiteral("Zeichenvorrat"));

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

    const std::initializer_list<QWidget*> focusable = {Command1, txtLaenge, cbKey, txtKeyLetters};
    ShowFocusRing(focusable);
    for (QWidget* control : focusable) {
        control->installEventFilter(this);
    }
    AddAccessKey(*this, Qt::Key_L, txtLaenge);
    AddAccessKey(*this, Qt::Key_K, cbKey);
    AddAccessKey(*this, Qt::Key_Z, txtKeyLetters);
    AddAccessKey(*this, Qt::Key_E, Command1);
    KeepAltChordsOut(txtLaenge);
    KeepAltChordsOut(txtKeyLetters);
    ClickWithLabel(Label2, cbKey);
    ShowStartWhenLeft(txtKeyLetters);
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
    // Qt reports the changed description to assistive technology by itself.
    txtKeyLetters->setAccessibleDescription(
        CountText(count) + QStringLiteral(". Aus ihnen wird das Passwort gezogen, wenn Key "
                                          "angekreuzt ist."));
    if (count != announcedCount_ && isVisible()) {
        // The description is spoken only on demand; a screen reader ignores the new name of
        // the label, which never has the focus.
        Announce(txtKeyLetters, CountText(count));
    }
    announcedCount_ = count;
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

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    // Enter is taken before the control with the focus sees it: the desktop's Qt theme may
    // list it among the keys that press buttons (QPlatformTheme::ButtonPressKeys, with Return
    // and Enter under GNOME, Xfce and the other GTK-based desktops), and then the check box
    // would take it and toggle itself instead.
    if (event->type() == QEvent::KeyPress && IsPlainEnter(*static_cast<QKeyEvent*>(event))) {
        Command1->click();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::keyPressEvent(QKeyEvent* event) {
    // Keys reach the window only when the control with the focus has no use for them.
    if (IsPlainEnter(*event)) {
        Command1->click();
        return;
    }
    if (event->modifiers() == Qt::NoModifier && event->key() == Qt::Key_Escape) {
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
