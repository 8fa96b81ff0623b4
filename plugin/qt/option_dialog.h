// COptionDlg, "Grablet オプション": what is in use (device name, width, height, as at opening)
// and two buttons, the device's own controls and its source formats.
#pragma once

#include <QWidget>

#include "plugin_ui.h"

// Runs the dialog modally without an owner; opened tells the window while it is open (the
// owner of the controller's message box and of the windows its buttons open), then null again.
void RunOptionDialog(const OptionDialogRows& rows, const OptionDialogButtons& buttons,
                     QWidget*& opened);
