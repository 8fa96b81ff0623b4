#include "main_dialog.h"

#include "capture_plugin.h"
#include "capture_settings_dialog.h"
#include "modal_dialog.h"
#include "resolution_dialog.h"
#include "wide_text.h"
#include "window_layout.h"

namespace {

constexpr UINT WM_RUN_POSTED_TASKS = WM_APP;
constexpr UINT_PTR FRAME_TIMER_ID = 0;

}  // namespace

MainDialog::MainDialog(HINSTANCE instance, VideoWriterFactory makeWriter,
                       CameraOutputFactory makeCamera)
    : instance_(instance),
      controller_(*this, std::move(makeWriter), std::move(makeCamera),
                  std::make_unique<CapturePlugin>(), FindViewerFiles()) {}

void MainDialog::Run() {
    RunModalDialog(instance_, IDD_MAIN_DIALOG, nullptr, *this);
}

INT_PTR MainDialog::Handle(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            Initialise(window);
            return controller_.OnInit();
        case WM_TIMER:
            controller_.OnTimer();
            return TRUE;
        case WM_PAINT:
            Paint();
            return TRUE;
        case WM_COMMAND:
            return controller_.OnCommand(LOWORD(wParam));
        case WM_DESTROY:
            Destroy();
            return TRUE;
        case WM_RUN_POSTED_TASKS:
            RunPostedTasks();
            return TRUE;
        default:
            return FALSE;
    }
}

void MainDialog::Initialise(HWND window) {
    window_ = window;
    FitClientArea();
    const std::lock_guard<std::mutex> lock(postedLock_);
    postTarget_ = window;
}

// The template's size in dialog units depends on the font; the picture area needs its pixels.
void MainDialog::FitClientArea() {
    RECT client;
    GetClientRect(window_, &client);
    const PixelSize size = MainWindowClientSize({client.right, client.bottom});
    RECT frame{0, 0, size.width, size.height};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(window_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(window_, GWL_EXSTYLE)));
    SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainDialog::Paint() {
    PAINTSTRUCT paint;
    paintContext_ = BeginPaint(window_, &paint);
    controller_.OnPaint();
    EndPaint(window_, &paint);
    paintContext_ = nullptr;
}

void MainDialog::RunPostedTasks() {
    std::vector<std::function<void()>> tasks;
    {
        const std::lock_guard<std::mutex> lock(postedLock_);
        tasks.swap(posted_);
    }
    for (const std::function<void()>& task : tasks) {
        task();
    }
}

void MainDialog::Destroy() {
    std::vector<std::function<void()>> dropped;
    {
        const std::lock_guard<std::mutex> lock(postedLock_);
        postTarget_ = nullptr;
        dropped.swap(posted_);
    }
    controller_.OnDestroy();
}

bool MainDialog::Checked(int id) const {
    return IsDlgButtonChecked(window_, id) == BST_CHECKED;
}

void MainDialog::ShowMessage(const std::string& text, MessageOwner owner,
                             const std::optional<std::string>& caption) {
    const std::wstring wideCaption = Widen(caption.value_or(std::string()));
    MessageBoxW(owner == MessageOwner::MainWindow ? window_ : nullptr, Widen(text).c_str(),
                caption ? wideCaption.c_str() : nullptr, MB_OK);
}

ResolutionDialogResult MainDialog::RunResolutionDialog() {
    return ::RunResolutionDialog(instance_, window_);
}

CaptureSettingsDialogResult MainDialog::RunCaptureSettingsDialog(const std::string& fpsText,
                                                                 const std::string& secondsText) {
    return ::RunCaptureSettingsDialog(instance_, window_, fpsText, secondsText);
}

void MainDialog::StartFrameTimer() {
    SetTimer(window_, FRAME_TIMER_ID, FRAME_PERIOD_MS, nullptr);
}

void MainDialog::StopFrameTimer() {
    KillTimer(window_, FRAME_TIMER_ID);
}

void MainDialog::InvalidatePicture() {
    const RECT picture{PICTURE_AREA.left, PICTURE_AREA.top, PICTURE_AREA.right,
                       PICTURE_AREA.bottom};
    InvalidateRect(window_, &picture, FALSE);
}

void MainDialog::PresentSurface(const SurfaceView& surface) {
    picture_.Show(surface, paintContext_);
}

void MainDialog::SetTitle(const std::string& title) {
    SetWindowTextW(window_, Widen(title).c_str());
}

PaintControls MainDialog::ReadControls() {
    PaintControls controls;
    controls.options.maskEnabled = Checked(IDC_MASK);
    controls.options.regionExpansion = Checked(IDC_REGION_EXPANSION);
    controls.options.looseTracking = Checked(IDC_LOOSE_TRACKING);
    controls.options.allRegions = Checked(IDC_ALL);
    controls.overlayEnabled = Checked(IDC_INTERCEPTER);
    controls.boxEnabled = Checked(IDC_BOX);
    return controls;
}

bool MainDialog::ShiftDown() {
    return (GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0;
}

void MainDialog::EndDialog(int result) {
    ::EndDialog(window_, result);
}

void* MainDialog::NativeWindow() {
    return window_;
}

bool MainDialog::PostToUiThread(std::function<void()> task) {
    const std::lock_guard<std::mutex> lock(postedLock_);
    if (postTarget_ == nullptr) {
        return false;
    }
    posted_.push_back(std::move(task));
    if (!PostMessageW(postTarget_, WM_RUN_POSTED_TASKS, 0, 0)) {
        posted_.pop_back();
        return false;
    }
    return true;
}
