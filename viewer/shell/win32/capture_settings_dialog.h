// "Capture Settings", before each recording: the two fields as texts; the controller reads them.
#pragma once

#include <windows.h>

#include <string>

#include "shell_ui.h"

CaptureSettingsDialogResult RunCaptureSettingsDialog(HINSTANCE instance, HWND owner,
                                                     const std::string& fpsText,
                                                     const std::string& secondsText);
