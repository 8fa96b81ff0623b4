// What a front end (a Win32 dialog procedure, a Qt widget) does for MainController: windows,
// dialogs, the frame timer and the screen. Every decision stays in the controller.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "control_ids.h"
#include "paint_preview.h"
#include "surface_view.h"

// Who owns a message box.
enum class MessageOwner { MainWindow, None };

// "Resolution Setting" as it ended: its result and which of its radio buttons were checked. It
// opens with IDC_RESOLUTION_PRESELECTED checked.
struct ResolutionDialogResult {
    int result = DIALOG_CANCEL;
    bool checked320x240 = false;
    bool checked640x480 = false;
    bool checked720x480 = false;
};

// "Capture Settings" as it ended: its result and the texts of its two fields.
struct CaptureSettingsDialogResult {
    int result = DIALOG_CANCEL;
    std::string fpsText;
    std::string secondsText;
};

class ShellUi {
  public:
    virtual ~ShellUi() = default;

    // A modal message box with one OK button; no caption means the system's default caption.
    virtual void ShowMessage(const std::string& text, MessageOwner owner,
                             const std::optional<std::string>& caption) = 0;
    // Modal, owned by the main window.
    virtual ResolutionDialogResult RunResolutionDialog() = 0;
    // Modal, owned by the main window, the fields showing these texts when it opens. The frame
    // timer keeps running meanwhile.
    virtual CaptureSettingsDialogResult RunCaptureSettingsDialog(
        const std::string& fpsText, const std::string& secondsText) = 0;
    // The timer of FRAME_PERIOD_MS whose ticks call MainController::OnTimer.
    virtual void StartFrameTimer() = 0;
    virtual void StopFrameTimer() = 0;
    // Asks for a paint of the whole picture area (without erasing); it calls
    // MainController::OnPaint.
    virtual void InvalidatePicture() = 0;
    // Shows the composed surface in the picture area; called during a paint, under frameLock.
    virtual void PresentSurface(const SurfaceView& surface) = 0;
    virtual void SetTitle(const std::string& title) = 0;
    // The six toggles as the window shows them now.
    virtual PaintControls ReadControls() = 0;
    // Whether a Shift key is down at this moment.
    virtual bool ShiftDown() = 0;
    // Ends the main dialog with this result; the window goes away once the handler returns.
    virtual void EndDialog(int result) = 0;
    // The main window's native handle, as the plug-in's VQ_OnInit receives it.
    virtual void* NativeWindow() = 0;
    // From any thread: runs task on the UI thread soon, without waiting for it. False when the UI
    // thread takes no more work.
    virtual bool PostToUiThread(std::function<void()> task) = 0;
};
