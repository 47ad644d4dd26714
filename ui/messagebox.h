#pragma once

#include <QString>

class QWidget;

namespace ui {

// A modal message box for a message-box style of the program: the icon (16 error,
// 32 question, 48 warning, 64 information) plus the buttons (0 OK, 1 OK and Cancel,
// 2 Abort, Retry and Ignore, 3 Yes, No and Cancel, 4 Yes and No, 5 Retry and Cancel).
// Returns the button pressed as 1 OK, 2 Cancel, 3 Abort, 4 Retry, 5 Ignore, 6 Yes, 7 No;
// closing the box answers Cancel where there is one, else the only button.
int ShowMessageBox(QWidget* parent, const QString& text, int style, const QString& title);

} // namespace ui
