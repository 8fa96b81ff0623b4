// The viewer's main window: turns Qt's events into MainController calls and implements ShellUi.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QPushButton>
#include <QTimer>
#include <cstdint>
#include <vector>

#include "dialog_units.h"
#include "main_controller.h"
#include "surface_view.h"

class MainDialog final : public QDialog, public ShellUi {
  public:
    MainDialog(VideoWriterFactory makeWriter, CameraOutputFactory makeCamera);
    ~MainDialog() override;

    // The start-up sequence, then, when it succeeded, the window until a command ends it. Returns
    // the dialog's result.
    int Run();

    MainController& Controller() { return controller_; }

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

    // Enter, Esc and the close box arrive here as the dialog's OK and Cancel commands.
    void accept() override;
    void reject() override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QPushButton* Button(const char* text, int id, const DialogRect& rect, DialogBaseUnits units);
    QPushButton* Toggle(const char* text, int id, const DialogRect& rect, DialogBaseUnits units);
    void Command(const char* text, int id, const DialogRect& rect, DialogBaseUnits units);
    QCheckBox* CheckBox(const char* text, int id, const DialogRect& rect, DialogBaseUnits units);

    QPushButton* overlay_ = nullptr;
    QPushButton* mask_ = nullptr;
    QPushButton* box_ = nullptr;
    QCheckBox* regionExpansion_ = nullptr;
    QCheckBox* looseTracking_ = nullptr;
    QCheckBox* allRegions_ = nullptr;
    QTimer frameTimer_;
    std::vector<std::uint8_t> picture_;
    // What this paint shows: the surface itself or picture_; empty when nothing was presented.
    SurfaceView shown_;
    // Last, so it is destroyed first, while the widgets it calls back still exist.
    MainController controller_;
};
