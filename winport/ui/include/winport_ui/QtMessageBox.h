// Message boxes of the platform's kinds (MB_* buttons, icon and default button) as Qt message
// boxes, and the hook that makes MessageBoxA show one.
#pragma once

#include <QMessageBox>
#include <QString>

#include "winport/Hooks.h"

namespace winport {

/// The system's Windows-1252 text as Qt text.
QString QStringFromAnsi(const char* text);

/// A message box of the type, not shown yet. The platform's answer of a finished box is
/// MessageBoxAnswer(box, type).
QMessageBox* CreateMessageBox(QWidget* parent, const char* text, const char* caption, UINT type);
/// The answer (IDOK, IDNO ...) of the button the operator chose; a box closed without a button
/// answers with its escape button (IDCANCEL, IDNO, or IDOK for a box with only OK).
int MessageBoxAnswer(const QMessageBox& box, UINT type);

/// From now on MessageBoxA shows a modal Qt message box on Qt's user-interface thread; called
/// from another thread it is written to standard error and answered with its default button,
/// so that no thread waits on the user-interface thread. Returns the previous hook.
MessageBoxHook InstallQtMessageBoxHook();

}  // namespace winport
