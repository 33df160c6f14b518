#include "window/desktop/message_box_error_report.h"

#include <QMessageBox>
#include <QString>

namespace quirlomat {

void MessageBoxErrorReport::Show(const std::string& message) {
    QMessageBox::critical(parent_, QStringLiteral("Quirlomat"), QString::fromStdString(message));
}

}  // namespace quirlomat
