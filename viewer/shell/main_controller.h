// The viewer's main dialog without its window: the process-wide state and every decision of
// start-up, the frame timer, painting, the commands and shutdown. A front end turns its window's
// messages into these calls and implements ShellUi.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "camera_output.h"
#include "capture_settings.h"
#include "capture_source.h"
#include "display_surface.h"
#include "face_locator.h"
#include "frame_image.h"
#include "overlay_sprite.h"
#include "paint_preview.h"
#include "recorder.h"
#include "settings_file.h"
#include "shell_ui.h"
#include "ui_thread_call.h"
#include "viewer_files.h"

// The viewer's exit status, whatever happened.
inline constexpr int VIEWER_EXIT_STATUS = 1;
// The frame timer's period: a grab and a paint up to 50 times a second.
inline constexpr int FRAME_PERIOD_MS = 20;

// Makes the platform's writer for one recording; a question the writer asks the user goes
// through uiCall to the UI thread.
using VideoWriterFactory = std::function<std::unique_ptr<VideoWriter>(UiThreadCall& uiCall)>;

// Makes the platform's camera output of a kind other than Off (MakePlatformCameraOutput).
using CameraOutputFactory = std::function<std::unique_ptr<CameraOutput>(VirtualCameraKind kind)>;

class MainController {
  public:
    // makeWriter gives the platform's writer for each recording; makeCamera the camera output the
    // settings ask for; source gives the frames (a CapturePlugin, which loads the plug-in the
    // settings name); clock is the millisecond tick count for painting and recording.
    MainController(ShellUi& ui, VideoWriterFactory makeWriter, CameraOutputFactory makeCamera,
                   std::unique_ptr<CaptureSource> source, ViewerFiles files = {},
                   RecorderClock clock = SystemRecorderClock(), std::FILE* diagnostics = stdout);
    // Releases in this order: the recorder (stopped and waited for), the camera output, the
    // surface, the live frame, and last the frame source, whose unloading calls VQ_OnDestroy.
    ~MainController() = default;
    MainController(const MainController&) = delete;
    MainController& operator=(const MainController&) = delete;

    // The start-up sequence. False after a failure has been shown and the dialog ended with 0.
    bool OnInit();
    // A tick of the frame timer: grab a frame, then ask for a paint. Memory running out leaves the
    // live frame empty; the viewer goes on.
    void OnTimer();
    // A paint of the picture area. Memory running out skips the paint.
    void OnPaint();
    // A command of the main dialog; false for commands it does not handle.
    bool OnCommand(int id);
    // The main window is going away: a question to the user that the recorder waits for is
    // answered "cancelled", a running recording is stopped and waited for, so it never outlives
    // the surface and the lock, and the camera output is closed.
    void OnDestroy();

    // For the front end's title and for tests.
    bool Recording() const { return recorder_.Active(); }
    const FrameImage& LiveFrame() const { return liveFrame_; }
    std::int32_t CaptureWidth() const { return captureWidth_; }
    std::int32_t CaptureHeight() const { return captureHeight_; }
    const RecordSettings& RecordingSettings() const { return recordSettings_; }
    const SkinColorRange& SkinRange() const { return settings_.skinRange; }
    const std::string& PluginFileName() const { return settings_.pluginFileName; }
    FaceFinderKind FaceFinder() const { return settings_.faceFinder; }
    SurfaceView Surface() const { return View(surface_); }

  private:
    void Fail(const std::string& text, MessageOwner owner,
              const std::optional<std::string>& caption);
    bool ChooseResolution();
    void MakeLocator();
    void RunOptionSequence();
    void Capture();
    void OpenCamera();
    void SendToCamera(const SurfaceView& picture);
    void DropCamera(const std::string& reason);

    ShellUi& ui_;
    VideoWriterFactory makeWriter_;
    CameraOutputFactory makeCamera_;
    ViewerFiles files_;
    RecorderClock clock_;
    std::FILE* diagnostics_;
    UiThreadCall uiCall_;  // outlives the recorder, whose writer asks through it

    // Declared in the order of construction at start-up, so members go in the reverse order: the
    // frame source last.
    std::unique_ptr<CaptureSource> source_;
    FrameImage liveFrame_;
    DisplaySurface surface_;
    ViewerSettings settings_;
    std::unique_ptr<FaceLocator> locator_;  // as the settings choose it
    OverlayTable overlays_;
    std::int32_t captureWidth_ = 640;
    std::int32_t captureHeight_ = 480;
    RecordSettings recordSettings_;
    PaintState paintState_;
    std::mutex frameLock_;
    std::unique_ptr<CameraOutput> camera_;  // while the settings ask for one and it works
    Recorder recorder_;
};
