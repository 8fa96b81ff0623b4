// "Resolution Setting", asked once at start-up.
#pragma once

#include <windows.h>

#include "shell_ui.h"

ResolutionDialogResult RunResolutionDialog(HINSTANCE instance, HWND owner);
