// The compressor choice of a recording: a modal dialog owned by the main window, and the bridge
// that shows it on the GUI thread for the recorder's thread.
#pragma once

#include <QPointer>
#include <QWidget>
#include <atomic>
#include <memory>
#include <optional>
#include <vector>

#include "compressor_choice.h"

// Shows the offered compressors, the first preselected, with quality and data rate where the
// compressor has them. Nothing when the user cancels.
std::optional<CompressorChoice> RunCompressorDialog(QWidget* owner,
                                                    const std::vector<CompressorOption>& options);

// Hands the recorder's compressor question to the GUI thread and waits for the answer, so the
// picture keeps moving behind the dialog. Once the window is closing, every question (also one
// waiting for the GUI thread) is answered "cancelled", so the recorder never waits on a window
// that is gone.
class CompressorChooser {
  public:
    explicit CompressorChooser(QWidget* owner);

    // For the recorder's writer; may be called from any thread but the GUI thread.
    ChooseCompressorFunction Function() const;

    // The window is closing: called on the GUI thread before the recorder is stopped.
    void Close();

  private:
    QPointer<QWidget> owner_;
    std::shared_ptr<std::atomic<bool>> closing_ = std::make_shared<std::atomic<bool>>(false);
};
