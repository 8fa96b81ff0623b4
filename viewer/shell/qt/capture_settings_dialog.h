// "Capture Settings": the frame rate and length of the next recording.
#pragma once

#include <QWidget>
#include <string>

#include "shell_ui.h"

// Runs the dialog modally over owner, its fields showing these texts, and reports how it ended
// with the fields' texts as they were then.
CaptureSettingsDialogResult RunCaptureSettingsDialog(QWidget* owner, const std::string& fpsText,
                                                     const std::string& secondsText);
