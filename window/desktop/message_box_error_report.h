#pragma once

#include <string>

#include <QPointer>
#include <QWidget>

#include "window/dialog/error_report.h"

namespace quirlomat {

// Shows run-time errors in a modal message box titled "Quirlomat" above the window.
class MessageBoxErrorReport final : public ErrorReport {
public:
    // The window exists only after its services, this among them, so it is named afterwards.
    void SetParent(QWidget* parent) { parent_ = parent; }

    void Show(const std::string& message) override;

private:
    QPointer<QWidget> parent_;
};

}  // namespace quirlomat
