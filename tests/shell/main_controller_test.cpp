#include "main_controller.h"

#include "face_boxes.h"
#include "face_finder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "support/face_photos.h"
#include "support/fake_capture_source.h"
#include "support/test_files.h"
#include "support/tool_runner.h"

namespace {

namespace fs = std::filesystem;

struct Message {
    std::string text;
    MessageOwner owner;
    std::optional<std::string> caption;
};

// Records what the controller asks of its window and answers as the test decides.
struct FakeUi : ShellUi {
    std::vector<std::string> events;
    std::vector<Message> messages;
    ResolutionDialogResult resolution{DIALOG_OK, false, true, false};
    CaptureSettingsDialogResult captureSettings{DIALOG_OK, "15", "5"};
    std::vector<std::pair<std::string, std::string>> captureDialogTexts;
    PaintControls controls;
    bool shift = false;
    int endResult = -1;
    std::vector<SurfaceView> presented;
    std::vector<std::string> titles;

    void ShowMessage(const std::string& text, MessageOwner owner,
                     const std::optional<std::string>& caption) override {
        events.push_back("message");
        messages.push_back({text, owner, caption});
    }
    ResolutionDialogResult RunResolutionDialog() override {
        events.push_back("resolution dialog");
        return resolution;
    }
    CaptureSettingsDialogResult RunCaptureSettingsDialog(const std::string& fps,
                                                         const std::string& seconds) override {
        captureDialogTexts.emplace_back(fps, seconds);
        return captureSettings;
    }
    void StartFrameTimer() override { events.push_back("start timer"); }
    void StopFrameTimer() override { events.push_back("stop timer"); }
    void InvalidatePicture() override { events.push_back("invalidate"); }
    void PresentSurface(const SurfaceView& surface) override { presented.push_back(surface); }
    void SetTitle(const std::string& title) override { titles.push_back(title); }
    PaintControls ReadControls() override { return controls; }
    bool ShiftDown() override { return shift; }
    void EndDialog(int result) override {
        events.push_back("end " + std::to_string(result));
        endResult = result;
    }
    void* NativeWindow() override { return reinterpret_cast<void*>(0x1234); }
    // The UI thread is the test's: posted tasks wait here until the test takes them.
    std::mutex postedLock;
    std::vector<std::function<void()>> posted;
    bool PostToUiThread(std::function<void()> task) override {
        const std::lock_guard<std::mutex> lock(postedLock);
        posted.push_back(std::move(task));
        return true;
    }
    std::function<void()> WaitForPosted() {
        for (;;) {
            const std::lock_guard<std::mutex> lock(postedLock);
            if (!posted.empty()) {
                return posted.front();
            }
        }
    }
};

// Holds its recording open (frame 1 never falls due) until the recorder is told to stop.
struct StillWriter : VideoWriter {
    std::atomic<int>& closes;
    explicit StillWriter(std::atomic<int>& c) : closes(c) {}
    bool ChooseCompressor(const RecordingFormat&) override { return true; }
    bool Open(const std::string&, const RecordingFormat&) override { return true; }
    bool WriteFrame(std::int32_t, const std::uint8_t*) override { return true; }
    bool Close() override {
        ++closes;
        return true;
    }
};

// Writes what it is asked into a log the test owns: "open WxH", "send WxH", "close", "gone".
struct FakeCamera : CameraOutput {
    std::vector<std::string>& log;
    bool failSend = false;
    explicit FakeCamera(std::vector<std::string>& l) : log(l) {}
    ~FakeCamera() override { log.push_back("gone"); }
    bool Open(PixelSize size, std::string&) override {
        log.push_back("open " + std::to_string(size.width) + "x" + std::to_string(size.height));
        return true;
    }
    bool Send(const SurfaceView& picture, std::string& error) override {
        log.push_back("send " + std::to_string(picture.width) + "x" +
                      std::to_string(picture.height));
        error = "the camera went away";
        return !failSend;
    }
    void Close() override { log.push_back("close"); }
};

// The viewer's files: a ravk.ini of the test's own (none until written), and the built overlay
// pictures and models. The frames come from a FakeSource over the fixture's script.
class MainControllerTest : public ::testing::Test {
  protected:
    TempDir folder;
    ViewerFiles files{folder.File("ravk.ini"), RAVK_BIN_DIR "/images", RAVK_BIN_DIR "/models"};
    FakeSource::Script source;
    FakeUi ui;
    std::uint32_t ticks = 5000;
    std::atomic<int> writerCloses{0};
    std::vector<std::string> cameraLog;
    FakeCamera* camera = nullptr;  // the last one made

    CameraOutputFactory Cameras() {
        return [this](VirtualCameraKind kind) {
            cameraLog.push_back("make " + std::to_string(static_cast<int>(kind)));
            auto made = std::make_unique<FakeCamera>(cameraLog);
            camera = made.get();
            return made;
        };
    }
    void WriteSettings(const std::string& text) { std::ofstream(files.settingsFile) << text; }
    std::unique_ptr<MainController> MakeController() {
        return std::make_unique<MainController>(
            ui, [this](UiThreadCall&) { return std::make_unique<StillWriter>(writerCloses); },
            Cameras(), std::make_unique<FakeSource>(source), files,
            RecorderClock{[this] { return ticks; }, [] { std::this_thread::yield(); }}, nullptr);
    }
};

TEST_F(MainControllerTest, StartsUpWithThePluginTheSettingsNameAndTheChosenSize) {
    WriteSettings("[ravk]\nDLL=camera.so\nS_max=80\nH1_min=-1\n");
    ui.resolution = {DIALOG_OK, false, false, true};
    auto controller = MakeController();
    ASSERT_TRUE(controller->OnInit());
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(controller->SkinRange().S_max, 80u);
    EXPECT_EQ(controller->SkinRange().H1_min, 4294967295u);
    EXPECT_EQ(controller->SkinRange().H1_max, 49u);
    EXPECT_EQ(ui.events, (std::vector<std::string>{"resolution dialog", "start timer"}));
    EXPECT_EQ(controller->Surface().width, 720);
    EXPECT_EQ(controller->Surface().height, 480);
    EXPECT_TRUE(controller->LiveFrame().pixels.empty());  // sized by the first tick
    EXPECT_EQ(source.calls, (Calls{"Load(camera.so)", "Init(0x1234)", "SetResolution(720, 480)"}));
}

TEST_F(MainControllerTest, ResolutionButtonsAreTestedInOrderNoneKeepsTheSizeCancelEndsSilently) {
    ui.resolution = {DIALOG_OK, true, false, true};
    auto both = MakeController();
    ASSERT_TRUE(both->OnInit());
    EXPECT_EQ(both->CaptureWidth(), 720);
    both.reset();

    ui.resolution = {DIALOG_OK, false, false, false};
    auto none = MakeController();
    ASSERT_TRUE(none->OnInit());
    EXPECT_EQ(none->CaptureWidth(), 640);
    EXPECT_EQ(none->CaptureHeight(), 480);

    ui.resolution.result = DIALOG_CANCEL;
    auto cancelled = MakeController();
    EXPECT_FALSE(cancelled->OnInit());
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ui.endResult, 0);
    EXPECT_EQ(source.calls.back(), "Init(0x1234)");  // and no size set
}

TEST_F(MainControllerTest, MissingOverlayPictureNamesTheFileAndLoadsNoPlugin) {
    files.overlayFolder = folder.File("images");
    fs::create_directory(files.overlayFolder);
    for (const auto& picture : fs::directory_iterator(fs::path(RAVK_BIN_DIR) / "images")) {
        fs::copy_file(picture.path(), fs::path(files.overlayFolder) / picture.path().filename());
    }
    for (const char* missing : {"warai0000.bmp", "warai0068.bmp"}) {
        const fs::path picture = fs::path(files.overlayFolder) / missing;
        const std::vector<std::uint8_t> original = ReadFileBytes(picture.string());
        fs::remove(picture);
        ui.messages.clear();
        source.calls.clear();
        auto controller = MakeController();
        EXPECT_FALSE(controller->OnInit());
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text, "画像ファイル " + files.overlayFolder + "\\" + missing +
                                           " が読み込めませんでした．");
        EXPECT_EQ(ui.messages[0].owner, MessageOwner::MainWindow);
        EXPECT_FALSE(ui.messages[0].caption.has_value());
        EXPECT_EQ(ui.endResult, 0);
        EXPECT_TRUE(source.calls.empty());
        WriteFileBytes(picture.string(), original);
    }
}

// Each failure ends the start-up at the failed call.
TEST_F(MainControllerTest, PluginFailuresShowTheirMessageWithAnEmptyCaptionAndNoOwner) {
    WriteSettings("[ravk]\nDLL=camera.so\n");
    ui.resolution = {DIALOG_OK, false, false, true};
    const Calls all{"Load(camera.so)", "Init(0x1234)", "SetResolution(720, 480)"};
    const struct {
        const char* failing;
        std::string text;
        std::size_t calls;
    } cases[] = {
        {"Load", "DLL を読み込めませんでした", 1},
        {"Init", "DLL を初期化できませんでした", 2},
        {"SetResolution", "カメラの解像度を 720x480 に設定できませんでした", 3},
    };
    for (const auto& c : cases) {
        source.failing = {c.failing};
        source.calls.clear();
        ui.messages.clear();
        ui.endResult = -1;
        auto controller = MakeController();
        EXPECT_FALSE(controller->OnInit()) << c.failing;
        EXPECT_EQ(source.calls, Calls(all.begin(), all.begin() + c.calls));
        ASSERT_EQ(ui.messages.size(), 1u) << c.failing;
        EXPECT_EQ(ui.messages[0].text, c.text);
        EXPECT_EQ(ui.messages[0].owner, MessageOwner::None);
        EXPECT_EQ(ui.messages[0].caption, std::optional<std::string>(""));
        EXPECT_EQ(ui.endResult, 0);
    }
}

TEST_F(MainControllerTest, WithoutSettingsTheDefaultPluginAndThresholdsAreUsed) {
    const std::string loadDefault = "Load(" + std::string(DEFAULT_PLUGIN_FILE) + ")";
    auto noFile = MakeController();
    EXPECT_TRUE(noFile->OnInit());
    EXPECT_EQ(source.calls.front(), loadDefault);
    EXPECT_EQ(noFile->SkinRange(), SkinColorRange{});

    WriteSettings("[ravk]\nDLL=\n");
    source.calls.clear();
    auto emptyKey = MakeController();
    EXPECT_TRUE(emptyKey->OnInit());
    EXPECT_EQ(source.calls.front(), loadDefault);
}

TEST_F(MainControllerTest, TimerGrabsAndPaintPresentsTheSurfaceAndRefreshesTheTitle) {
    auto controller = MakeController();
    ASSERT_TRUE(controller->OnInit());
    controller->OnTimer();
    EXPECT_EQ(ui.events.back(), "invalidate");
    EXPECT_EQ(controller->LiveFrame().width, 640);
    for (int paint = 0; paint < 52; ++paint, ticks += 20) {
        controller->OnPaint();
    }
    EXPECT_EQ(ui.presented.size(), 52u);
    EXPECT_EQ(ui.presented.back().width, 640);
    EXPECT_EQ(ui.titles, (std::vector<std::string>{"Ravkeler / FPS = 51.0"}));

    // Memory running out empties the live frame; the viewer goes on with the surface it has.
    source.outOfMemory = true;
    controller->OnTimer();
    EXPECT_TRUE(controller->LiveFrame().pixels.empty());
    controller->OnPaint();
    EXPECT_EQ(ui.presented.size(), 53u);
    EXPECT_EQ(ui.presented.back().width, 640);
}

TEST_F(MainControllerTest, OptionSequenceAdoptsTheReportedSizeOrKeepsTheOldOne) {
    auto controller = MakeController();
    ASSERT_TRUE(controller->OnInit());
    source.frame = MakeFrameImage(320, 240);
    source.calls.clear();
    ui.events.clear();
    EXPECT_TRUE(controller->OnCommand(IDC_OPTION));
    EXPECT_EQ(ui.events, (std::vector<std::string>{"stop timer", "start timer"}));
    EXPECT_EQ(source.calls, (Calls{"ShowOptionDialog", "GetResolution"}));
    EXPECT_EQ(controller->CaptureWidth(), 320);
    EXPECT_EQ(controller->LiveFrame().width, 320);
    EXPECT_EQ(controller->LiveFrame().pixels.size(), 320u * 240u);
    EXPECT_EQ(controller->Surface().width, 320);
    EXPECT_EQ(controller->Surface().height, 240);

    // Sizes no frame could have keep the resolution, as a source that cannot report one does.
    const std::pair<std::int32_t, std::int32_t> refused[] = {
        {INT32_MAX, INT32_MAX}, {100000, 100000}, {16385, 2}, {-1, 480}};
    for (const auto& size : refused) {
        source.report = size;
        controller->OnCommand(IDC_OPTION);
        EXPECT_EQ(controller->CaptureWidth(), 320) << size.first << " x " << size.second;
        EXPECT_EQ(controller->LiveFrame().width, 320);
        EXPECT_EQ(controller->Surface().width, 320);
    }
    source.report.reset();
    source.frame = MakeFrameImage(720, 480);
    source.failing = {"GetResolution"};  // it writes 720 x 480 all the same
    controller->OnCommand(IDC_OPTION);
    EXPECT_EQ(controller->CaptureWidth(), 320);
    EXPECT_EQ(controller->Surface().width, 320);
}

TEST_F(MainControllerTest, CaptureRecordsOnceAtATimeAndShiftSavesTheSnapshotAlways) {
    auto controller = MakeController();
    ASSERT_TRUE(controller->OnInit());
    controller->OnTimer();
    controller->OnPaint();

    ui.captureSettings = {DIALOG_CANCEL, "30", "60"};
    controller->OnCommand(IDC_CAPTURE);
    EXPECT_FALSE(controller->Recording());
    EXPECT_EQ(controller->RecordingSettings().recordFps, 15);

    ui.captureSettings = {DIALOG_OK, "31", "4294967296"};
    controller->OnCommand(IDC_CAPTURE);
    EXPECT_TRUE(controller->Recording());
    EXPECT_EQ(controller->RecordingSettings().recordFps, 30);
    EXPECT_EQ(controller->RecordingSettings().recordSeconds, 5);
    EXPECT_EQ(ui.captureDialogTexts.back(), std::make_pair(std::string("15"), std::string("5")));

    controller->OnCommand(IDC_CAPTURE);  // a second press while recording: nothing
    EXPECT_EQ(ui.captureDialogTexts.size(), 2u);

    ui.shift = true;
    {
        const CurrentDirScope inFolder(folder.Path());  // the pair lands in the current folder
        controller->OnCommand(IDC_CAPTURE);
    }
    EXPECT_EQ(ReadFileBytes(folder.File("capture_original.bmp")).size(), 54u + 640u * 480u * 3u);
    EXPECT_EQ(ReadFileBytes(folder.File("capture_ravk.bmp")).size(), 54u + 640u * 480u * 3u);

    // Closing the window mid-recording ends the recording and closes its file.
    controller->OnDestroy();
    EXPECT_FALSE(controller->Recording());
    EXPECT_EQ(writerCloses, 1);
}

int CountRed(const SurfaceView& surface) {
    int count = 0;
    for (std::int32_t r = 0; r < surface.height; ++r) {
        for (std::int32_t x = 0; x < surface.width; ++x) {
            const std::uint8_t* p = surface.pixels + r * surface.stride + 3 * x;
            count += p[0] == 0 && p[1] == 0 && p[2] == 255 ? 1 : 0;
        }
    }
    return count;
}

TEST_F(MainControllerTest, HeldCoverOutlivesALostFaceButNotAResolutionChange) {
    WriteSettings("[ravk]\nKeepCoveredMs=5000\n");
    source.frame = FixedSceneFrame();
    auto controller = MakeController();
    ASSERT_TRUE(controller->OnInit());
    ui.controls.boxEnabled = true;
    const auto paint = [&] {
        controller->OnTimer();
        controller->OnPaint();
        return CountRed(controller->Surface());
    };
    EXPECT_GT(paint(), 0);
    source.frame = MakeFrameImage(640, 480);  // black: the face is gone
    ticks += 1000;
    EXPECT_GT(paint(), 0);
    controller->OnCommand(IDC_OPTION);
    EXPECT_EQ(paint(), 0);
}

// A photo of people scaled (nearest pixel) to fill a 640 x 480 frame, as a camera would serve it.
FrameImage PhotoFrame(const std::string& name) {
    std::string error;
    const FrameImage photo = LoadFacePhoto(name, error);
    EXPECT_EQ(error, "");
    FrameImage frame = MakeFrameImage(640, 480);
    for (std::int32_t y = 0; y < 480 && photo.width > 0; ++y) {
        for (std::int32_t x = 0; x < 640; ++x) {
            frame.pixels[static_cast<std::size_t>(y * 640 + x)] =
                photo.pixels[static_cast<std::size_t>(y * photo.height / 480 * photo.width +
                                                      x * photo.width / 640)];
        }
    }
    return frame;
}

// ravk-inspect composes, from the snapshot's raw frame, the very file the viewer saved beside it,
// with either face finder.
TEST_F(MainControllerTest, SnapshotIsWhatTheToolComposesFromTheRawFrame) {
    const struct {
        const char* settings;
        PaintControls controls;
        std::string toolOptions;
        const char* photo;  // served instead of the fixed scene
    } cases[] = {
        {"", {{true, false, false, false}, true, true}, "--mask --overlay --box", nullptr},
        {"CoverStyle=pixelate\n",
         {{false, true, false, true}, true, false},
         "--expand --all --overlay",
         nullptr},
        {"CoverStyle=blur\n",
         {{true, false, false, false}, true, true},
         "--mask --box --cover blur",
         nullptr},
        {"FaceFinder=cnn\n",
         {{true, false, false, false}, true, true},
         "--mask --overlay --box --finder cnn --models " + ShellQuoted(RAVK_BIN_DIR "/models"),
         "audrey.jpg"},
    };
    for (const auto& c : cases) {
        WriteSettings(std::string("[ravk]\n") + c.settings);
        source.frame = c.photo != nullptr ? PhotoFrame(c.photo) : FixedSceneFrame();
        auto controller = MakeController();
        ASSERT_TRUE(controller->OnInit());
        if (c.photo != nullptr) {
            ASSERT_EQ(controller->FaceFinder(), FaceFinderKind::Cnn);
        }
        ui.controls = c.controls;
        controller->OnTimer();
        controller->OnPaint();
        ui.shift = true;
        {
            const CurrentDirScope inFolder(folder.Path());
            controller->OnCommand(IDC_CAPTURE);
        }
        const ToolRun run =
            RunTool("ravk-inspect",
                    std::string("--compose ") + c.toolOptions + " --images " +
                        ShellQuoted(RAVK_BIN_DIR "/images") + " capture_original.bmp composed.bmp",
                    folder.Path().string());
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(ReadFileBytes(folder.File("composed.bmp")),
                  ReadFileBytes(folder.File("capture_ravk.bmp")))
            << c.toolOptions;
        if (c.photo != nullptr) {
            // The face is covered: the middle of the best face is no longer the photo's.
            FaceModel model;
            std::string error;
            ASSERT_TRUE(LoadFaceModel(RAVK_BIN_DIR
                                      "/models/face_detection_back_256x256_barracuda.onnx",
                                      FaceModelKind::Back, model, error))
                << error;
            FaceFinderState state;
            std::vector<FaceDetection> faces;
            const FrameImage& live = controller->LiveFrame();
            FindFaces(live, model, state, faces);
            ASSERT_FALSE(faces.empty());
            const RegionBox box = FaceBox(faces[0], false);
            const std::int32_t x = (box.left + box.right) / 2, r = (box.top + box.bottom) / 2;
            const SurfaceView shown = controller->Surface();
            const std::uint8_t* covered = shown.pixels + r * shown.stride + 3 * x;
            const Pixel24 raw = live.pixels[static_cast<std::size_t>((479 - r) * 640 + x)];
            EXPECT_NE((Pixel24{covered[0], covered[1], covered[2]}), raw);
        }
    }
}

TEST_F(MainControllerTest, FaceFinderFallsBackToSkinWithOneLineWhenItsModelCannotBeUsed) {
    std::ofstream(folder.File("face_detection_back_256x256_barracuda.onnx")) << "not a model";
    WriteSettings("[ravk]\nFaceFinder=cnn\n");
    for (const std::string& modelFolder : {folder.File("absent"), folder.Path().string()}) {
        files.modelFolder = modelFolder;
        const std::string diagnosticsFile = folder.File("diagnostics.txt");
        std::FILE* diagnostics = std::fopen(diagnosticsFile.c_str(), "w");
        ASSERT_NE(diagnostics, nullptr);
        MainController controller(
            ui, [](UiThreadCall&) { return std::unique_ptr<VideoWriter>(); }, Cameras(),
            std::make_unique<FakeSource>(source), files, SystemRecorderClock(), diagnostics);
        EXPECT_TRUE(controller.OnInit());
        std::fclose(diagnostics);
        EXPECT_EQ(controller.FaceFinder(), FaceFinderKind::Skin);
        std::ifstream in(diagnosticsFile);
        std::string line, more;
        std::getline(in, line);
        EXPECT_EQ(line.rfind("face finder: ", 0), 0u) << line;
        EXPECT_NE(line.find("; using skin"), std::string::npos) << line;
        EXPECT_FALSE(std::getline(in, more)) << more;
    }
}

// Asks the user through the UI thread before it records, as a compressor choice does.
struct AskingWriter : StillWriter {
    UiThreadCall& uiCall;
    AskingWriter(std::atomic<int>& closes, UiThreadCall& call)
        : StillWriter(closes), uiCall(call) {}
    bool ChooseCompressor(const RecordingFormat&) override {
        return uiCall.Ask<bool>([] { return true; }).value_or(false);
    }
};

TEST_F(MainControllerTest, ClosingAnswersTheRecordersPendingQuestionSoShutdownCannotHang) {
    MainController controller(
        ui,
        [this](UiThreadCall& call) { return std::make_unique<AskingWriter>(writerCloses, call); },
        Cameras(), std::make_unique<FakeSource>(source), files, SystemRecorderClock(), nullptr);
    ASSERT_TRUE(controller.OnInit());
    controller.OnCommand(IDC_CAPTURE);
    const std::function<void()> question = ui.WaitForPosted();
    controller.OnDestroy();  // the window closes before the UI thread gets to the question
    EXPECT_FALSE(controller.Recording());
    question();                  // run late, it asks nobody
    EXPECT_EQ(writerCloses, 0);  // nothing was opened
}

TEST_F(MainControllerTest, DialogCommandsEndWithTheirIdAndShutdownDestroysTheSourceLast) {
    auto controller = MakeController();
    ASSERT_TRUE(controller->OnInit());
    for (int id : {DIALOG_OK, DIALOG_CANCEL, IDC_EXIT}) {
        EXPECT_TRUE(controller->OnCommand(id));
        EXPECT_EQ(ui.endResult, id);
    }
    EXPECT_FALSE(controller->OnCommand(1003));  // a check box: not a command of the dialog
    controller->OnDestroy();
    EXPECT_NE(source.calls.back(), "destroyed");  // not while the window exists
    controller.reset();
    EXPECT_EQ(source.calls.back(), "destroyed");

    // Released mid-recording, without OnDestroy: the recording is closed before the source goes.
    auto recording = MakeController();
    ASSERT_TRUE(recording->OnInit());
    recording->OnCommand(IDC_CAPTURE);
    ASSERT_TRUE(recording->Recording());
    int closesBeforeSource = -1;
    source.whenDestroyed = [&] { closesBeforeSource = writerCloses; };
    recording.reset();
    EXPECT_EQ(closesBeforeSource, 1);
}

TEST_F(MainControllerTest, TheCameraGetsEachPresentedPictureAndBreaksWithOneLine) {
    auto plain = MakeController();  // VirtualCamera unset: no camera is made
    ASSERT_TRUE(plain->OnInit());
    plain->OnPaint();
    EXPECT_TRUE(cameraLog.empty());

    WriteSettings("[ravk]\nVirtualCamera=1\n");
    std::FILE* diagnostics = std::tmpfile();
    MainController controller(
        ui, [](UiThreadCall&) { return std::unique_ptr<VideoWriter>(); }, Cameras(),
        std::make_unique<FakeSource>(source), files, SystemRecorderClock(), diagnostics);
    ASSERT_TRUE(controller.OnInit());
    controller.OnPaint();
    source.frame = MakeFrameImage(320, 240);
    controller.OnCommand(IDC_OPTION);  // a new size: a new camera at that size
    controller.OnPaint();
    camera->failSend = true;
    controller.OnPaint();
    controller.OnPaint();              // the camera is gone for good
    controller.OnCommand(IDC_OPTION);  // and not made again
    EXPECT_EQ(cameraLog,
              (std::vector<std::string>{"make 1", "open 640x480", "send 640x480", "gone", "make 1",
                                        "open 320x240", "send 320x240", "send 320x240", "gone"}));
    std::rewind(diagnostics);
    char line[100] = {};
    EXPECT_EQ(std::string(std::fgets(line, sizeof line, diagnostics)),
              "camera: the camera went away; going on without it\n");
    std::fclose(diagnostics);

    cameraLog.clear();
    auto closing = MakeController();
    ASSERT_TRUE(closing->OnInit());
    closing->OnDestroy();
    bool cameraGoneFirst = false;
    source.whenDestroyed = [&] { cameraGoneFirst = cameraLog.back() == "gone"; };
    closing.reset();
    EXPECT_EQ(cameraLog, (std::vector<std::string>{"make 1", "open 640x480", "close", "gone"}));
    EXPECT_TRUE(cameraGoneFirst);
}

}  // namespace
