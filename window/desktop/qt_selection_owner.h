#pragma once

#include <memory>

#include <QObject>

#include "clipboard/clipboard.h"

namespace quirlomat {

// The clipboard on a Wayland compositor that offers no data-control protocol and no X
// display (GNOME's Mutter without XWayland, weston): no keeper can own the selection there,
// so the program owns it itself, through Qt's Wayland connection. The text is served from
// secret memory of its own until another client takes the clipboard; then it is wiped and
// the event loop ends. The program hides its window meanwhile (custody kThisProcess).
class QtSelectionOwner final : public Clipboard {
public:
    QtSelectionOwner();
    ~QtSelectionOwner() override;
    QtSelectionOwner(const QtSelectionOwner&) = delete;
    QtSelectionOwner& operator=(const QtSelectionOwner&) = delete;

    void SetText(const SecretBytes& utf8) override;
    Custody custody() const override { return Custody::kThisProcess; }

    struct Held;  // the text, shared with the clipboard data that serves it

private:
    void Release();

    std::shared_ptr<Held> held_;
    QObject watch_;  // ends the connection to QClipboard::changed with this object
    QMetaObject::Connection watching_;
};

}  // namespace quirlomat
