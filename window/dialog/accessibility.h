#pragma once

#include <QString>

class QObject;

namespace quirlomat {

// Plain QWidget windows of the dialog type tell assistive technology that they are dialogs;
// Qt gives that role only to QDialog and reports every other window as a mere client area
// ("filler" on Linux), which screen readers do not announce as a window. Idempotent; call it
// before the window's accessible interface is first asked for.
void ReportDialogWindowsAsDialogs();

// Asks screen readers to speak message politely, after what they are saying, where Qt can
// (from 6.8 on); source is the object that the message is about. Elsewhere it does nothing,
// and the message must also be available another way, such as in a description.
void Announce(QObject* source, const QString& message);

}  // namespace quirlomat
