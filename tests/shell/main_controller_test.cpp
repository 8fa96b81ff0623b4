#include "main_controller.h"

#include "capture_plugin.h"
#include "face_boxes.h"
#include "face_finder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/face_photos.h"
#include "support/test_files.h"
#include "support/test_plugin_harness.h"
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
    void Close() override { ++closes; }
};

// The viewer's files: a ravk.ini of the test's own naming a plug-in, and the built overlay
// pictures.
class MainControllerTest : public ::testing::Test {
  protected:
    TempDir folder;
    ViewerFiles files{folder.File("ravk.ini"), RAVK_BIN_DIR "/images", RAVK_BIN_DIR "/models"};
    TestPluginLog log;
    FakeUi ui;
    std::uint32_t ticks = 5000;
    std::atomic<int> writerCloses{0};

    void WriteSettings(const std::string& text) { std::ofstream(files.settingsFile) << text; }
    void UsePlugin(const std::string& name) {
        WriteSettings("[ravk]\nDLL=" + TestPluginPath(name) + "\n");
    }
    std::unique_ptr<MainController> MakeController() {
        return std::make_unique<MainController>(
            ui, [this](UiThreadCall&) { return std::make_unique<StillWriter>(writerCloses); },
            std::make_unique<CapturePlugin>(), files,
            RecorderClock{[this] { return ticks; }, [] { std::this_thread::yield(); }}, nullptr);
    }
    static bool Contains(const std::vector<std::string>& lines, const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
};

TEST_F(MainControllerTest, StartsUpWithThePluginTheSettingsNameAndTheChosenSize) {
    UsePlugin("test_plugin");
    WriteSettings("[ravk]\nDLL=" + TestPluginPath("test_plugin") + "\nS_max=80\nH1_min=-1\n");
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
    EXPECT_EQ(log.Lines(),
              (std::vector<std::string>{"VQ_GetDllName(null)", "VQ_GetDllName(buffer)",
                                        "VQ_OnInit(0x1234)", "VQ_SetResolution(720, 480)"}));
}

TEST_F(MainControllerTest, ResolutionButtonsAreTestedInOrderAndNoneKeepsTheSize) {
    UsePlugin("test_plugin");
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
}

TEST_F(MainControllerTest, MissingOverlayPictureNamesTheFileAndLoadsNoPlugin) {
    UsePlugin("test_plugin");
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
        auto controller = MakeController();
        EXPECT_FALSE(controller->OnInit());
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text, "画像ファイル " + files.overlayFolder + "\\" + missing +
                                           " が読み込めませんでした．");
        EXPECT_EQ(ui.messages[0].owner, MessageOwner::MainWindow);
        EXPECT_FALSE(ui.messages[0].caption.has_value());
        EXPECT_EQ(ui.endResult, 0);
        WriteFileBytes(picture.string(), original);
    }
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(MainControllerTest, PluginFailuresShowTheirMessageWithAnEmptyCaptionAndNoOwner) {
    const std::pair<std::string, std::string> cases[] = {
        {"does_not_exist", "DLL を読み込めませんでした"},
        {"test_plugin_no_name", "DLL を読み込めませんでした"},
        {"test_plugin_empty_name", "DLL を読み込めませんでした"},
        {"test_plugin_init_fails", "DLL を初期化できませんでした"},
    };
    for (const auto& [plugin, text] : cases) {
        UsePlugin(plugin);
        ui.messages.clear();
        auto controller = MakeController();
        EXPECT_FALSE(controller->OnInit()) << plugin;
        ASSERT_EQ(ui.messages.size(), 1u) << plugin;
        EXPECT_EQ(ui.messages[0].text, text);
        EXPECT_EQ(ui.messages[0].owner, MessageOwner::None);
        EXPECT_EQ(ui.messages[0].caption, std::optional<std::string>(""));
        EXPECT_EQ(ui.endResult, 0);
    }
}

TEST_F(MainControllerTest, RefusedResolutionIsReportedWithTheSizeAndCancelEndsSilently) {
    UsePlugin("test_plugin_set_resolution_fails");
    ui.resolution = {DIALOG_OK, false, false, true};
    auto refused = MakeController();
    EXPECT_FALSE(refused->OnInit());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "カメラの解像度を 720x480 に設定できませんでした");
    EXPECT_EQ(ui.messages[0].caption, std::optional<std::string>(""));
    refused.reset();

    UsePlugin("test_plugin");
    ui.messages.clear();
    ui.endResult = -1;
    ui.resolution.result = DIALOG_CANCEL;
    auto cancelled = MakeController();
    EXPECT_FALSE(cancelled->OnInit());
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ui.endResult, 0);
    EXPECT_FALSE(Contains(log.Lines(), "VQ_SetResolution(640, 480)"));
}

TEST_F(MainControllerTest, WithoutSettingsTheDefaultPluginAndThresholdsAreUsed) {
    // The settings are read before the overlay pictures, which are missing here, so the start-up
    // ends before any plug-in (a camera's, with its windows) is loaded.
    files.overlayFolder = folder.File("no-images");
    auto noFile = MakeController();
    EXPECT_FALSE(noFile->OnInit());
    EXPECT_EQ(noFile->PluginFileName(), DEFAULT_PLUGIN_FILE);
    EXPECT_EQ(noFile->SkinRange(), SkinColorRange{});

    WriteSettings("[ravk]\nDLL=\n");
    auto emptyKey = MakeController();
    emptyKey->OnInit();
    EXPECT_EQ(emptyKey->PluginFileName(), DEFAULT_PLUGIN_FILE);
}

TEST_F(MainControllerTest, TimerGrabsAndPaintPresentsTheSurfaceAndRefreshesTheTitle) {
    UsePlugin("test_plugin");
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
}

TEST_F(MainControllerTest, OptionSequenceAdoptsTheReportedSizeOrKeepsTheOldOne) {
    UsePlugin("test_plugin");
    auto controller = MakeController();
    ASSERT_TRUE(controller->OnInit());
    TestPluginControl plugin(TestPluginPath("test_plugin"));
    plugin.SetFrame(320, 240, nullptr);
    ui.events.clear();
    EXPECT_TRUE(controller->OnCommand(IDC_OPTION));
    EXPECT_EQ(ui.events, (std::vector<std::string>{"stop timer", "start timer"}));
    EXPECT_TRUE(Contains(log.Lines(), "VQ_DoModalOptionDlg"));
    EXPECT_EQ(controller->CaptureWidth(), 320);
    EXPECT_EQ(controller->LiveFrame().width, 320);
    EXPECT_EQ(controller->LiveFrame().pixels.size(), 320u * 240u);
    EXPECT_EQ(controller->Surface().width, 320);
    EXPECT_EQ(controller->Surface().height, 240);

    // Sizes no frame could have keep the resolution, as a plug-in that cannot report one does.
    const std::pair<std::int32_t, std::int32_t> refused[] = {
        {INT32_MAX, INT32_MAX}, {100000, 100000}, {16385, 2}, {-1, 480}};
    for (const auto& [width, height] : refused) {
        plugin.SetReport(width, height, 0);
        controller->OnCommand(IDC_OPTION);
        EXPECT_EQ(controller->CaptureWidth(), 320) << width << " x " << height;
        EXPECT_EQ(controller->LiveFrame().width, 320);
        EXPECT_EQ(controller->Surface().width, 320);
    }
    plugin.SetFrame(720, 480, nullptr);
    plugin.SetResult("VQ_GetResolution", 0);  // cannot report a size
    controller->OnCommand(IDC_OPTION);
    EXPECT_EQ(controller->CaptureWidth(), 320);
    EXPECT_EQ(controller->Surface().width, 320);
}

TEST_F(MainControllerTest, CaptureRecordsOnceAtATimeAndShiftSavesTheSnapshotAlways) {
    UsePlugin("test_plugin");
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
    WriteSettings("[ravk]\nDLL=" + TestPluginPath("test_plugin_fixed_scene") +
                  "\nKeepCoveredMs=5000\n");
    auto controller = MakeController();
    ASSERT_TRUE(controller->OnInit());
    ui.controls.boxEnabled = true;
    const auto paint = [&] {
        controller->OnTimer();
        controller->OnPaint();
        return CountRed(controller->Surface());
    };
    EXPECT_GT(paint(), 0);
    TestPluginControl plugin(TestPluginPath("test_plugin_fixed_scene"));
    const std::vector<std::uint8_t> black(640 * 480 * 3);
    plugin.SetFrame(640, 480, black.data());
    ticks += 1000;
    EXPECT_GT(paint(), 0);
    controller->OnCommand(IDC_OPTION);
    EXPECT_EQ(paint(), 0);
}

// A photo of people scaled (nearest pixel) to fill a 640 x 480 frame, as a camera would serve it.
std::vector<std::uint8_t> PhotoFrame(const std::string& name) {
    std::string error;
    const FrameImage photo = LoadFacePhoto(name, error);
    EXPECT_EQ(error, "");
    std::vector<std::uint8_t> bytes;
    for (std::int32_t y = 0; y < 480 && photo.width > 0; ++y) {
        for (std::int32_t x = 0; x < 640; ++x) {
            const Pixel24 p = photo.pixels[static_cast<std::size_t>(
                y * photo.height / 480 * photo.width + x * photo.width / 640)];
            bytes.insert(bytes.end(), {p.blue, p.green, p.red});
        }
    }
    return bytes;
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
        const char* plugin = c.photo != nullptr ? "test_plugin" : "test_plugin_fixed_scene";
        WriteSettings("[ravk]\nDLL=" + TestPluginPath(plugin) + "\n" + c.settings);
        auto controller = MakeController();
        ASSERT_TRUE(controller->OnInit());
        if (c.photo != nullptr) {
            ASSERT_EQ(controller->FaceFinder(), FaceFinderKind::Cnn);
            const std::vector<std::uint8_t> photo = PhotoFrame(c.photo);
            TestPluginControl(TestPluginPath(plugin)).SetFrame(640, 480, photo.data());
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
    for (const std::string& modelFolder : {folder.File("absent"), folder.Path().string()}) {
        files.modelFolder = modelFolder;
        WriteSettings("[ravk]\nDLL=" + TestPluginPath("test_plugin") + "\nFaceFinder=cnn\n");
        const std::string diagnosticsFile = folder.File("diagnostics.txt");
        std::FILE* diagnostics = std::fopen(diagnosticsFile.c_str(), "w");
        ASSERT_NE(diagnostics, nullptr);
        MainController controller(
            ui, [](UiThreadCall&) { return std::unique_ptr<VideoWriter>(); },
            std::make_unique<CapturePlugin>(), files, SystemRecorderClock(), diagnostics);
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
    UsePlugin("test_plugin");
    MainController controller(
        ui,
        [this](UiThreadCall& call) { return std::make_unique<AskingWriter>(writerCloses, call); },
        std::make_unique<CapturePlugin>(), files, SystemRecorderClock(), nullptr);
    ASSERT_TRUE(controller.OnInit());
    controller.OnCommand(IDC_CAPTURE);
    const std::function<void()> question = ui.WaitForPosted();
    controller.OnDestroy();  // the window closes before the UI thread gets to the question
    EXPECT_FALSE(controller.Recording());
    question();                  // run late, it asks nobody
    EXPECT_EQ(writerCloses, 0);  // nothing was opened
}

TEST_F(MainControllerTest, DialogCommandsEndWithTheirIdAndShutdownUnloadsThePluginLast) {
    UsePlugin("test_plugin");
    auto controller = MakeController();
    ASSERT_TRUE(controller->OnInit());
    for (int id : {DIALOG_OK, DIALOG_CANCEL, IDC_EXIT}) {
        EXPECT_TRUE(controller->OnCommand(id));
        EXPECT_EQ(ui.endResult, id);
    }
    EXPECT_FALSE(controller->OnCommand(1003));  // a check box: not a command of the dialog
    controller->OnDestroy();
    EXPECT_FALSE(Contains(log.Lines(), "VQ_OnDestroy"));  // not while the window exists
    controller.reset();
    const std::vector<std::string> lines = log.Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "VQ_OnDestroy");
    EXPECT_EQ(lines.back(), "unload");
}

}  // namespace
