// The compressor choice of a recording: a modal dialog owned by the main window.
#pragma once

#include <QWidget>
#include <optional>
#include <vector>

#include "compressor_choice.h"
#include "ui_thread_call.h"

// Shows the offered compressors, the first preselected, with quality and data rate where the
// compressor has them. Nothing when the user cancels.
std::optional<CompressorChoice> RunCompressorDialog(QWidget* owner,
                                                    const std::vector<CompressorOption>& options);

// The recorder's compressor question: the dialog above, owned by owner and shown on the GUI thread
// through uiCall while the recorder's thread waits, so the picture keeps moving behind it. Once the
// window is closing the answer is "cancelled".
ChooseCompressorFunction CompressorQuestion(UiThreadCall& uiCall, QWidget* owner);
