#include <gst/gst.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <QDir>
#include <QFileSystemWatcher>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <filesystem>
#include <optional>
#include <set>

#include "camera_output.h"
#include "overlay_sprite.h"
#include "presentation.h"
#include "shell/qt/viewer_harness.h"
#include "support/grablet_module.h"

namespace {

// Where the screenshots are kept for a person to look at.
const QString SCREENS_DIR = "/tmp/ravk_screens";

QImage Screenshot(const QRect& globalRect, const QString& name) {
    const QImage shot =
        QGuiApplication::primaryScreen()
            ->grabWindow(0, globalRect.x(), globalRect.y(), globalRect.width(), globalRect.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    QDir().mkpath(SCREENS_DIR);
    shot.save(SCREENS_DIR + "/" + name);
    return shot;
}

QRect GlobalRect(const QWidget& widget) {
    return QRect(widget.mapToGlobal(QPoint(0, 0)), widget.size());
}

std::set<QRgb> Colours(const QImage& image) {
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            colours.insert(image.pixel(x, y) & 0xFFFFFF);
        }
    }
    return colours;
}

int CountDark(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += qGray(image.pixel(x, y)) < 96 ? 1 : 0;
        }
    }
    return count;
}

// Every opaque colour of the overlay pictures.
std::set<QRgb> OverlayColours() {
    OverlayTable overlays;
    std::string failed;
    EXPECT_TRUE(LoadOverlaySprites(overlays, failed)) << failed;
    std::set<QRgb> colours;
    for (const OverlaySprite& sprite : overlays) {
        for (std::size_t i = 0; i < sprite.pixels.size(); ++i) {
            if (sprite.mask[i] == 0) {
                colours.insert(
                    qRgb(sprite.pixels[i].red, sprite.pixels[i].green, sprite.pixels[i].blue) &
                    0xFFFFFF);
            }
        }
    }
    return colours;
}

TEST(ScreenTest, TheJapanesePromptAndTheOverlayOnTheTestcardReachTheScreen) {
    RunFolder folder;
    folder.UsePlugin(std::string(RAVK_BIN_DIR) + "/Testcard.so");
    ModalScript script;
    MainDialog dialog(NoWriter(), CameraOutputFactory());
    int promptInk = 0;
    bool promptFontIsJapanese = false;
    QImage before, after;
    script.WhenTitled("Resolution Setting", [&](QWidget& w) {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        QTest::qWait(300);
        Screenshot(GlobalRect(w), "resolution_dialog.png");
        const QLabel* prompt = w.findChild<QLabel*>();
        ASSERT_NE(prompt, nullptr);
        promptInk = CountDark(Screenshot(GlobalRect(*prompt), "resolution_prompt.png"));
        const QFontInfo font(prompt->font());
        promptFontIsJapanese =
            QFontDatabase::writingSystems(font.family()).contains(QFontDatabase::Japanese);
        static_cast<QDialog&>(w).accept();
    });
    script.WhenMainWindowShown([&](MainDialog& main) {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
        QTest::qWait(500);
        const QRect picture(main.mapToGlobal(QPoint(PICTURE_AREA.left, PICTURE_AREA.top)),
                            QSize(Width(PICTURE_AREA), Height(PICTURE_AREA)));
        before = Screenshot(picture, "testcard.png");
        QTest::mouseClick(main.findChild<QPushButton*>("1001"), Qt::LeftButton);
        QTest::qWait(500);
        after = Screenshot(picture, "testcard_overlay.png");
        Screenshot(GlobalRect(main), "viewer_window.png");
        main.done(IDC_EXIT);
    });
    EXPECT_EQ(dialog.Run(), IDC_EXIT);

    EXPECT_GT(promptInk, 500);  // three lines of text, not an empty label
    EXPECT_TRUE(promptFontIsJapanese);
    EXPECT_GT(Colours(before).size(), 20u);  // the scene, not a blank area
    const std::set<QRgb> sceneColours = Colours(before);
    const std::set<QRgb> overlayColours = OverlayColours();
    int overlayPixels = 0;
    for (int y = 0; y < after.height(); ++y) {
        for (int x = 0; x < after.width(); ++x) {
            const QRgb c = after.pixel(x, y) & 0xFFFFFF;
            overlayPixels += overlayColours.count(c) != 0 && sceneColours.count(c) == 0 ? 1 : 0;
        }
    }
    EXPECT_GT(overlayPixels, 2000);
}

// The real program, driven with synthetic key presses on the X display.
class ProgramTest : public ::testing::Test {
  protected:
    RunFolder folder;

    void SetUp() override { folder.UsePlugin(std::string(RAVK_BIN_DIR) + "/Testcard.so"); }

    static QString Xdotool(const QStringList& arguments) {
        QProcess process;
        process.start("xdotool", arguments);
        process.waitForFinished(10000);
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }
    static QString VisibleWindow(const QString& title) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QString window =
                Xdotool({"search", "--onlyvisible", "--name", title}).section('\n', 0, 0);
            if (!window.isEmpty()) {
                return window;
            }
            QTest::qWait(100);
        }
        return {};
    }
    // Waits for a visible window whose title matches, gives it the focus and presses key there.
    static bool PressIn(const QString& title, const QString& key) {
        const QString window = VisibleWindow(title);
        if (window.isEmpty()) {
            return false;
        }
        Xdotool({"windowfocus", "--sync", window});
        Xdotool({"key", key});
        return true;
    }
    // Runs ravk in the folder while drive works its windows. With fileSizeLimit, writes to files
    // beyond that many bytes fail as on a full disk (ravk itself keeps the limit's signal from
    // ending it).
    int Run(const std::function<void()>& drive, std::optional<rlim_t> fileSizeLimit = {}) {
        QProcess ravk;
        ravk.setProcessChannelMode(QProcess::ForwardedErrorChannel);  // a crash report shows
        if (fileSizeLimit) {
            ravk.setChildProcessModifier([limit = *fileSizeLimit] {
                const rlimit full{limit, limit};
                setrlimit(RLIMIT_FSIZE, &full);
            });
        }
        ravk.setWorkingDirectory(QString::fromStdString(folder.Path().string()));
        ravk.start(QString(RAVK_BIN_DIR) + "/ravk", {});
        EXPECT_TRUE(ravk.waitForStarted());
        running_ = &ravk;
        drive();
        running_ = nullptr;
        EXPECT_TRUE(ravk.state() == QProcess::NotRunning || ravk.waitForFinished(20000));
        return ravk.exitStatus() == QProcess::NormalExit ? ravk.exitCode() : -1;
    }
    // The visible windows of the running ravk, once it shows any.
    QStringList VisibleWindowsOfRavk() const {
        const QString pid = QString::number(running_->processId());
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QString found = Xdotool({"search", "--onlyvisible", "--pid", pid});
            if (!found.isEmpty()) {
                return found.split('\n');
            }
            QTest::qWait(100);
        }
        return {};
    }
    // Waits until the running ravk has printed line on its standard output.
    bool WaitForLine(const QByteArray& line) {
        QByteArray printed;
        for (int attempt = 0; attempt < 200 && !printed.contains(line); ++attempt) {
            running_->waitForReadyRead(100);
            printed += running_->readAllStandardOutput();
        }
        return printed.contains(line);
    }

    void Kill() {
        running_->kill();
        running_->waitForFinished(20000);
    }

  private:
    QProcess* running_ = nullptr;
};

TEST_F(ProgramTest, EnterAndEscInTheMainWindowAndEscAtStartUpExitWithStatusOne) {
    for (const char* key : {"Return", "Escape"}) {
        const int status = Run([key] {
            EXPECT_TRUE(PressIn("^Resolution Setting$", "Return"));
            EXPECT_TRUE(PressIn("^Ravkeler", key));
        });
        EXPECT_EQ(status, 1) << key;
    }
    const int status = Run([] { EXPECT_TRUE(PressIn("^Resolution Setting$", "Escape")); });
    EXPECT_EQ(status, 1);
}

TEST_F(ProgramTest, AFailureWithAnEmptyCaptionHasAnEmptyTitleBar) {
    folder.UsePlugin(std::string(RAVK_BIN_DIR) + "/test_plugin_init_fails.so");
    QStringList titles;
    const int status = Run([&] {
        for (const QString& window : VisibleWindowsOfRavk()) {  // the message box alone
            titles << Xdotool({"getwindowname", window});
            Xdotool({"windowfocus", "--sync", window});
            Xdotool({"key", "Return"});
        }
    });
    EXPECT_EQ(titles, QStringList{""});  // not the program's name in its place
    EXPECT_EQ(status, 1);
}

TEST_F(ProgramTest, AnAbsurdSizeAfterTheOptionDialogKeepsTheViewerRunning) {
    folder.UsePlugin(std::string(RAVK_BIN_DIR) + "/test_plugin_absurd_option_size.so");
    const int status = Run([] {
        EXPECT_TRUE(PressIn("^Resolution Setting$", "Return"));
        EXPECT_TRUE(PressIn("^Ravkeler", "alt+o"));  // reports 2147483647 x 2147483647 after it
        QTest::qWait(300);
        EXPECT_TRUE(PressIn("^Ravkeler", "alt+x"));
    });
    EXPECT_EQ(status, 1);
}

// The message's text, naming the file, is checked in the overlay tests: Qt's message box offers
// it to no outside reader here.
TEST_F(ProgramTest, AFifoAsAnOverlayFrameEndsTheViewerWithItsMessage) {
    const std::string frame = folder.File("images/warai0005.bmp");
    std::filesystem::remove(frame);
    ASSERT_EQ(mkfifo(frame.c_str(), 0644), 0);
    const int status = Run([] { EXPECT_TRUE(PressIn("^Error$", "Return")); });
    EXPECT_EQ(status, 1);
}

// Where ravk puts "&Capture": the same window laid out here.
QPoint CaptureButtonCentre() {
    return MainDialog(NoWriter(), CameraOutputFactory())
        .findChild<QPushButton*>(QString::number(IDC_CAPTURE))
        ->geometry()
        .center();
}

TEST_F(ProgramTest, SnapshotAndRecordingOnAFullDiskKeepTheEarlierFilesAndSaySo) {
    const std::vector<std::uint8_t> earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};
    const char* const files[] = {"capture_original.bmp", "capture_ravk.bmp", "capture.avi"};
    for (const char* name : files) {
        WriteFileBytes(folder.File(name), earlier);
    }
    const QPoint capture = CaptureButtonCentre();
    // The snapshot's pending files come and go in the folder.
    QFileSystemWatcher watcher({QString::fromStdString(folder.Path().string())});
    int folderChanges = 0;
    QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, [&] { ++folderChanges; });
    const int status = Run(
        [&] {
            EXPECT_TRUE(PressIn("^Resolution Setting$", "Return"));
            const QString window = VisibleWindow("^Ravkeler");
            // A click that comes before the window takes input is lost: it is repeated until
            // the snapshot is under way (a repeat is one more failed snapshot).
            for (int attempt = 0; attempt < 20 && folderChanges == 0; ++attempt) {
                Xdotool({"mousemove", "--window", window, QString::number(capture.x()),
                         QString::number(capture.y()), "keydown", "shift", "click", "1", "keyup",
                         "shift"});
                QTest::qWait(500);
            }
            EXPECT_TRUE(
                WaitForLine("snapshot: capture_original.bmp and capture_ravk.bmp could "
                            "not be saved; any earlier pair is kept\n"));
            EXPECT_TRUE(PressIn("^Ravkeler", "alt+c"));
            EXPECT_TRUE(PressIn("^Capture Settings$", "Return"));
            EXPECT_TRUE(PressIn("^Video Compression$", "Return"));
            EXPECT_TRUE(
                WaitForLine("AviCreater: frame 0 could not be written; capture.avi is "
                            "unchanged\nEND AviCreater\n"));
            EXPECT_TRUE(PressIn("^Ravkeler", "Escape"));
        },
        64 * 1024);
    EXPECT_EQ(status, 1);
    EXPECT_GT(folderChanges, 0) << "the snapshot was not attempted";
    for (const char* name : files) {
        EXPECT_EQ(ReadFileBytes(folder.File(name)), earlier) << name;
    }
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
    }
}

TEST_F(ProgramTest, AViewerKilledWhileRecordingKeepsTheEarlierClip) {
    const std::vector<std::uint8_t> earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};
    WriteFileBytes(folder.File("capture.avi"), earlier);
    const int status = Run([&] {
        EXPECT_TRUE(PressIn("^Resolution Setting$", "Return"));
        EXPECT_TRUE(PressIn("^Ravkeler", "alt+c"));
        EXPECT_TRUE(PressIn("^Capture Settings$", "Return"));
        EXPECT_TRUE(PressIn("^Video Compression$", "Return"));
        // Well into the 5 s clip, the frame lines still in ravk's buffer.
        QTest::qWait(1500);
        EXPECT_TRUE(std::filesystem::exists(folder.File("capture.tmp.avi")));
        Kill();
    });
    EXPECT_EQ(status, -1);
    EXPECT_EQ(ReadFileBytes(folder.File("capture.avi")), earlier);
}

// The video sources GStreamer's device monitor lists, as Grablet.so lists them. Not while a bound
// Grablet lives: GStreamer's PipeWire plug-in (0.3.65) leaves a listing's listeners on the
// connection its elements share, and the next node to go away then crashes the process.
std::vector<std::string> ListedCameras() {
    gst_init(nullptr, nullptr);
    GstDeviceMonitor* monitor = gst_device_monitor_new();
    gst_device_monitor_add_filter(monitor, "Video/Source", nullptr);
    GList* devices = gst_device_monitor_get_devices(monitor);
    std::vector<std::string> names;
    for (GList* item = devices; item != nullptr; item = item->next) {
        gchar* name = gst_device_get_display_name(GST_DEVICE(item->data));
        names.emplace_back(name);
        g_free(name);
    }
    g_list_free_full(devices, gst_object_unref);
    gst_object_unref(monitor);
    return names;
}

bool CamerasBecome(const std::vector<std::string>& names) {
    for (int attempt = 0; attempt < 100 && ListedCameras() != names; ++attempt) {
        QTest::qWait(100);
    }
    return ListedCameras() == names;
}

// Pixels of the blue "&Mask" paints, which the camera's YUY2 leaves close to pure blue; the masked
// face of a 640 x 480 Testcard has about 19000.
int BluePixels(const std::vector<std::uint8_t>& frame) {
    int count = 0;
    for (std::size_t i = 0; i + 2 < frame.size(); i += 3) {
        count += frame[i] > 200 && frame[i + 1] < 60 && frame[i + 2] < 60 ? 1 : 0;
    }
    return count;
}

// Over the PipeWire of the test command's own (with_own_pipewire.sh), where ravk's camera is the
// only one.
TEST_F(ProgramTest, AReaderGetsTheCoveredPictureAsACameraWhileTheViewerRuns) {
    std::ofstream(folder.File("ravk.ini"), std::ios::app) << "VirtualCamera=1\n";
    const int status = Run([] {
        ASSERT_TRUE(PressIn("^Resolution Setting$", "Return"));  // 640 x 480
        ASSERT_TRUE(CamerasBecome({CAMERA_NAME}));
        Grablet grablet;
        ASSERT_NE(grablet.onInit(nullptr), 0);  // the only camera: bound without a question
        EXPECT_EQ(grablet.Resolution(), (Size{640, 480}));
        EXPECT_LT(BluePixels(grablet.DeliveredFrame()), 1000);  // Testcard's face is skin-toned
        ASSERT_TRUE(PressIn("^Ravkeler", "alt+m"));
        std::vector<std::uint8_t> masked = grablet.Frame();
        for (int attempt = 0; attempt < 50 && BluePixels(masked) < 10000; ++attempt) {
            QTest::qWait(100);
            masked = grablet.Frame();
        }
        EXPECT_GE(BluePixels(masked), 10000);
        QTest::qWait(300);  // the face drifts: a camera that keeps sending shows it elsewhere
        EXPECT_NE(grablet.Frame(), masked);
        EXPECT_GE(BluePixels(grablet.Frame()), 10000);
        // The reader lets go first: GStreamer's PipeWire source (0.3.65) may still read a buffer
        // of a node that goes away under it, and crash.
        grablet.Destroy();
        EXPECT_TRUE(PressIn("^Ravkeler", "Escape"));
    });
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(CamerasBecome({}));
}

}  // namespace
