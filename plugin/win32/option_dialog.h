// COptionDlg, "Grablet オプション": what is in use, and the two buttons to the device's own
// settings.
#pragma once

#include <windows.h>

#include "plugin_ui.h"

// Runs the dialog modally without an owner; opened tells the window while it is open (the
// owner of the controller's message box), then null again.
void RunOptionDialog(const OptionDialogRows& rows, const OptionDialogButtons& buttons,
                     HWND& opened);
