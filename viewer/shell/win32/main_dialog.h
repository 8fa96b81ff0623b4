// The viewer's main window: turns the dialog's messages into MainController calls and implements
// ShellUi with the Win32 functions.
#pragma once

#include <windows.h>

#include <functional>
#include <mutex>
#include <vector>

#include "main_controller.h"
#include "picture_bitmap.h"

class MainDialog final : public ShellUi {
  public:
    MainDialog(HINSTANCE instance, VideoWriterFactory makeWriter, CameraOutputFactory makeCamera);
    MainDialog(const MainDialog&) = delete;
    MainDialog& operator=(const MainDialog&) = delete;

    // Runs the dialog modally, without owner, until a command or a failed start-up ends it.
    void Run();
    // The window while it exists.
    HWND Window() const { return window_; }

    // Messages of the dialog's procedure; every one not listed here is left to the system.
    INT_PTR Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    void ShowMessage(const std::string& text, MessageOwner owner,
                     const std::optional<std::string>& caption) override;
    ResolutionDialogResult RunResolutionDialog() override;
    CaptureSettingsDialogResult RunCaptureSettingsDialog(const std::string& fpsText,
                                                         const std::string& secondsText) override;
    void StartFrameTimer() override;
    void StopFrameTimer() override;
    void InvalidatePicture() override;
    void PresentSurface(const SurfaceView& surface) override;
    void SetTitle(const std::string& title) override;
    PaintControls ReadControls() override;
    bool ShiftDown() override;
    void EndDialog(int result) override;
    void* NativeWindow() override;
    bool PostToUiThread(std::function<void()> task) override;

  private:
    void Initialise(HWND window);
    void FitClientArea();
    void Paint();
    void RunPostedTasks();
    void Destroy();
    bool Checked(int id) const;

    HINSTANCE instance_;
    HWND window_ = nullptr;
    HDC paintContext_ = nullptr;  // during a paint
    PictureBitmap picture_;

    // Work posted from other threads, run on the dialog's thread at a WM_APP wake-up; none is
    // taken once the window is being destroyed, and what is still queued then is dropped.
    std::mutex postedLock_;
    HWND postTarget_ = nullptr;
    std::vector<std::function<void()>> posted_;

    // Last, so it is destroyed first, while everything it calls back still exists.
    MainController controller_;
};
