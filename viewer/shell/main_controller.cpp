#include "main_controller.h"

#include <cstdio>
#include <new>

#include "settings_file.h"
#include "skin_locator.h"
#include "snapshot.h"

namespace {

constexpr const char* LOAD_FAILURE_TEXT = "DLL を読み込めませんでした";
constexpr const char* INIT_FAILURE_TEXT = "DLL を初期化できませんでした";
constexpr const char* RESOLUTION_FAILURE_FORMAT = "カメラの解像度を %dx%d に設定できませんでした";
// The plug-in's failures are shown with an empty caption, the overlay's with the system's own.
const std::optional<std::string> EMPTY_CAPTION = std::string();

// Texts with a value are built in a buffer of this size; longer results are cut, never overrun.
constexpr std::size_t MESSAGE_BUFFER_BYTES = 1024;

}  // namespace

MainController::MainController(ShellUi& ui, VideoWriterFactory makeWriter,
                               CameraOutputFactory makeCamera,
                               std::unique_ptr<CaptureSource> source, ViewerFiles files,
                               RecorderClock clock, std::FILE* diagnostics)
    : ui_(ui),
      makeWriter_(std::move(makeWriter)),
      makeCamera_(std::move(makeCamera)),
      files_(std::move(files)),
      clock_(clock),
      diagnostics_(diagnostics),
      uiCall_([&ui](std::function<void()> task) { return ui.PostToUiThread(std::move(task)); }),
      source_(std::move(source)),
      locator_(std::make_unique<SkinLocator>(settings_.skinRange, diagnostics)),
      recorder_({frameLock_, [this] { return View(surface_); }}, std::move(clock), diagnostics) {}

void MainController::Fail(const std::string& text, MessageOwner owner,
                          const std::optional<std::string>& caption) {
    ui_.ShowMessage(text, owner, caption);
    ui_.EndDialog(0);
}

bool MainController::OnInit() {
    ReadSettingsFile(files_.settingsFile, settings_, diagnostics_);

    std::string failedFile;
    if (!LoadOverlaySprites(overlays_, failedFile, files_.overlayFolder)) {
        Fail(OverlayLoadFailureMessage(failedFile), MessageOwner::MainWindow, std::nullopt);
        return false;
    }
    MakeLocator();
    if (!source_->Load(settings_.pluginFileName)) {
        Fail(LOAD_FAILURE_TEXT, MessageOwner::None, EMPTY_CAPTION);
        return false;
    }
    if (!source_->Init(ui_.NativeWindow())) {
        Fail(INIT_FAILURE_TEXT, MessageOwner::None, EMPTY_CAPTION);
        return false;
    }
    if (!ChooseResolution()) {
        ui_.EndDialog(0);  // no message: the user chose not to go on
        return false;
    }
    if (!source_->SetResolution(captureWidth_, captureHeight_)) {
        char text[MESSAGE_BUFFER_BYTES];
        std::snprintf(text, sizeof text, RESOLUTION_FAILURE_FORMAT, captureWidth_, captureHeight_);
        Fail(text, MessageOwner::None, EMPTY_CAPTION);
        return false;
    }
    {
        const std::lock_guard<std::mutex> lock(frameLock_);
        CreateDisplaySurface(surface_, captureWidth_, captureHeight_);
    }
    OpenCamera();
    ui_.StartFrameTimer();
    return true;
}

// A camera that cannot be offered or breaks is no failure of the viewer: one line says why, and
// the viewer goes on without it.
void MainController::OpenCamera() {
    if (settings_.virtualCamera == VirtualCameraKind::Off || !makeCamera_) {
        return;
    }
    camera_ = makeCamera_(settings_.virtualCamera);
    std::string error;
    if (camera_ != nullptr && !camera_->Open({captureWidth_, captureHeight_}, error)) {
        DropCamera(error);
    }
}

void MainController::SendToCamera(const SurfaceView& picture) {
    std::string error;
    if (camera_ != nullptr && !camera_->Send(picture, error)) {
        DropCamera(error);
    }
}

void MainController::DropCamera(const std::string& reason) {
    camera_.reset();
    settings_.virtualCamera = VirtualCameraKind::Off;
    if (diagnostics_ != nullptr) {
        std::fprintf(diagnostics_, "camera: %s; going on without it\n", reason.c_str());
        std::fflush(diagnostics_);
    }
}

// A model that is missing or not the expected one is no start-up failure: the skin analysis
// takes over, and one line says why.
void MainController::MakeLocator() {
    std::string error;
    locator_ = MakeFaceLocator(settings_.faceFinder, files_.modelFolder, settings_.skinRange,
                               diagnostics_, error);
    if (error.empty()) {
        return;
    }
    settings_.faceFinder = FaceFinderKind::Skin;
    if (diagnostics_ != nullptr) {
        std::fprintf(diagnostics_, "face finder: %s; using skin\n", error.c_str());
        std::fflush(diagnostics_);
    }
}

// The buttons are tested in order and each checked one sets the size; with none checked the size
// stays as it was. Any end but "OK" cancels the start-up.
bool MainController::ChooseResolution() {
    const ResolutionDialogResult choice = ui_.RunResolutionDialog();
    if (choice.result != DIALOG_OK) {
        return false;
    }
    if (choice.checked320x240) {
        captureWidth_ = 320;
        captureHeight_ = 240;
    }
    if (choice.checked640x480) {
        captureWidth_ = 640;
        captureHeight_ = 480;
    }
    if (choice.checked720x480) {
        captureWidth_ = 720;
        captureHeight_ = 480;
    }
    return true;
}

void MainController::OnTimer() {
    try {
        source_->GrabFrame(liveFrame_);
    } catch (const std::bad_alloc&) {
        ReleaseFrameImage(liveFrame_);
    }
    ui_.InvalidatePicture();
}

void MainController::OnPaint() {
    const PaintInputs inputs{ui_.ReadControls(), liveFrame_,         captureWidth_,
                             captureHeight_,     *locator_,          overlays_,
                             settings_.cover,    clock_.tickCount(), Recording()};
    std::optional<std::string> title;
    try {
        title = PaintPreview(inputs, paintState_, surface_, frameLock_,
                             [this](const SurfaceView& view) {
                                 ui_.PresentSurface(view);
                                 SendToCamera(view);
                             });
    } catch (const std::bad_alloc&) {
        // The paint's own images are dropped; the next paint starts afresh.
        ReleaseFrameImage(paintState_.working);
    }
    if (title) {
        ui_.SetTitle(*title);
    }
}

bool MainController::OnCommand(int id) {
    switch (id) {
        case DIALOG_OK:
        case DIALOG_CANCEL:
        case IDC_EXIT:
            ui_.EndDialog(id);
            return true;
        case IDC_OPTION:
            RunOptionSequence();
            return true;
        case IDC_CAPTURE:
            Capture();
            return true;
        default:
            return false;
    }
}

// The plug-in's dialog may change the size. A plug-in that cannot report it, or reports a size no
// frame could have, keeps the size as it was. The surface is replaced under the lock, so it never
// changes under a recorder's copy. Memory running out leaves the frame empty and no surface.
void MainController::RunOptionSequence() {
    ui_.StopFrameTimer();
    camera_.reset();  // opened again below at the size the dialog leaves
    source_->ShowOptionDialog();
    std::int32_t width = captureWidth_;
    std::int32_t height = captureHeight_;
    if (source_->GetResolution(width, height) && IsAcceptableFrameSize(width, height)) {
        captureWidth_ = width;
        captureHeight_ = height;
    }
    // Boxes found at the old size mean nothing at the new one.
    paintState_.hold.boxes.clear();
    try {
        ResizeFrameImage(liveFrame_, captureWidth_, captureHeight_);
        const std::lock_guard<std::mutex> lock(frameLock_);
        CreateDisplaySurface(surface_, captureWidth_, captureHeight_);
    } catch (const std::bad_alloc&) {
        ReleaseFrameImage(liveFrame_);
        const std::lock_guard<std::mutex> lock(frameLock_);
        surface_ = DisplaySurface{};
    }
    OpenCamera();
    ui_.StartFrameTimer();
}

// With Shift: the snapshot pair, also during a recording. Without: a new recording unless one runs.
void MainController::Capture() {
    if (ui_.ShiftDown()) {
        if (!SaveSnapshotPair(liveFrame_, View(surface_)) && diagnostics_ != nullptr) {
            std::fprintf(diagnostics_,
                         "snapshot: %s and %s could not be saved; any earlier pair is kept\n",
                         SNAPSHOT_ORIGINAL_FILE, SNAPSHOT_DISPLAY_FILE);
            std::fflush(diagnostics_);
        }
        return;
    }
    if (Recording()) {
        return;
    }
    const CaptureSettingsDialogResult settings =
        ui_.RunCaptureSettingsDialog(FormatUnsignedField(recordSettings_.recordFps),
                                     FormatUnsignedField(recordSettings_.recordSeconds));
    if (settings.result != DIALOG_OK) {
        return;
    }
    recordSettings_ = ApplyCaptureSettings(settings.fpsText, settings.secondsText);
    if (std::unique_ptr<VideoWriter> writer = makeWriter_(uiCall_)) {
        recorder_.Start(std::move(writer), recordSettings_);
    }
}

void MainController::OnDestroy() {
    uiCall_.Close();
    ui_.StopFrameTimer();
    recorder_.StopAndWait();
    if (camera_ != nullptr) {
        camera_->Close();  // other programs see the camera go with the window
    }
}
