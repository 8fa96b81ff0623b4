// "Resolution Setting": asked once at start-up, before the main window shows.
#pragma once

#include <QWidget>

#include "shell_ui.h"

// Runs the dialog modally over owner with "640x480" checked, and reports how it ended.
ResolutionDialogResult RunResolutionDialog(QWidget* owner);
