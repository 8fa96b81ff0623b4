#include "main_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>

#include "presentation.h"
#include "shell/qt/viewer_harness.h"
#include "support/fixed_scene.h"
#include "support/test_plugin_harness.h"

namespace {

constexpr QRgb SKIN = qRgb(200, 150, 120);
constexpr QRgb WALL = qRgb(100, 130, 170);

// A wall with one skin square, served by the test plug-in in the contract's bottom-up layout.
std::vector<std::uint8_t> FaceFrame(int width, int height, QRect face) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(width * height * 3));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const QRgb c = face.contains(x, y) ? SKIN : WALL;
            std::uint8_t* p = &bytes[static_cast<std::size_t>(((height - 1 - y) * width + x) * 3)];
            p[0] = static_cast<std::uint8_t>(qBlue(c));
            p[1] = static_cast<std::uint8_t>(qGreen(c));
            p[2] = static_cast<std::uint8_t>(qRed(c));
        }
    }
    return bytes;
}

QImage Picture(MainDialog& dialog) {
    return dialog
        .grab(QRect(PICTURE_AREA.left, PICTURE_AREA.top, Width(PICTURE_AREA), Height(PICTURE_AREA)))
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

int CountColour(const QImage& image, QRgb colour) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF) ? 1 : 0;
        }
    }
    return count;
}

template <typename T>
T& Control(QWidget& dialog, int id) {
    T* control = dialog.findChild<T*>(QString::number(id));
    if (control == nullptr) {
        std::abort();  // a broken test, not a failed expectation
    }
    return *control;
}

// Holds its recording open until the recorder is told to stop.
struct StillWriter : VideoWriter {
    bool ChooseCompressor(const RecordingFormat&) override { return true; }
    bool Open(const std::string&, const RecordingFormat&) override { return true; }
    bool WriteFrame(std::int32_t, const std::uint8_t*) override { return true; }
    bool Close() override { return true; }
};

struct Message {
    std::string text;
    std::string title;
    bool ownedByMainWindow = false;
    int buttons = 0;
    bool mainWindowVisible = false;
};

class MainDialogTest : public ::testing::Test {
  protected:
    RunFolder folder;
    TestPluginLog log;
    ModalScript script;

    static bool Logged(const std::vector<std::string>& lines, const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    // Runs a start-up that fails and reports the one message box it showed.
    Message StartUpFailure(int& result) {
        MainDialog dialog(NoWriter(), CameraOutputFactory());
        Message message;
        script.When([](QWidget& w) { return qobject_cast<QMessageBox*>(&w) != nullptr; },
                    [&](QWidget& w) {
                        auto& box = static_cast<QMessageBox&>(w);
                        message = {box.text().toStdString(), box.windowTitle().toStdString(),
                                   box.parentWidget() == &dialog,
                                   static_cast<int>(box.buttons().size()), dialog.isVisible()};
                        box.button(QMessageBox::Ok)->click();
                    });
        result = dialog.Run();
        return message;
    }
};

TEST_F(MainDialogTest, EachStartUpFailureShowsItsMessageWithOwnerAndCaptionAndEnds) {
    std::filesystem::remove(folder.Path() / "images" / "warai0012.bmp");
    folder.UsePlugin(TestPluginPath("test_plugin"));
    int result = -1;
    Message message = StartUpFailure(result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(message.text, "画像ファイル images\\warai0012.bmp が読み込めませんでした．");
    EXPECT_EQ(message.title, "Error");
    EXPECT_TRUE(message.ownedByMainWindow);
    EXPECT_EQ(message.buttons, 1);
    EXPECT_FALSE(message.mainWindowVisible);
    std::filesystem::create_symlink(std::filesystem::path(RAVK_BIN_DIR) / "images/warai0012.bmp",
                                    folder.Path() / "images" / "warai0012.bmp");

    const std::pair<std::string, std::string> pluginFailures[] = {
        {"does_not_exist", "DLL を読み込めませんでした"},
        {"test_plugin_init_fails", "DLL を初期化できませんでした"},
        {"test_plugin_set_resolution_fails", "カメラの解像度を 640x480 に設定できませんでした"},
    };
    for (const auto& [plugin, text] : pluginFailures) {
        folder.UsePlugin(TestPluginPath(plugin));
        if (plugin == "test_plugin_set_resolution_fails") {
            script.AcceptResolutionDialog();
        }
        message = StartUpFailure(result);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(message.text, text);
        EXPECT_EQ(message.title, "");
        EXPECT_FALSE(message.ownedByMainWindow);
        EXPECT_EQ(message.buttons, 1);
        EXPECT_FALSE(message.mainWindowVisible);
    }
}

TEST_F(MainDialogTest, ResolutionChoiceReachesThePluginAndEscThereEndsSilently) {
    folder.UsePlugin(TestPluginPath("test_plugin"));
    {
        MainDialog dialog(NoWriter(), CameraOutputFactory());
        bool preset = false;
        script.WhenTitled("Resolution Setting", [&](QWidget& w) {
            preset = Control<QRadioButton>(w, 1006).isChecked();
            QTest::mouseClick(&Control<QRadioButton>(w, 1008), Qt::LeftButton);
            QTest::mouseClick(&Control<QPushButton>(w, 1), Qt::LeftButton);
        });
        script.WhenMainWindowShown([](MainDialog& main) {
            QTest::mouseClick(&Control<QPushButton>(main, IDC_EXIT), Qt::LeftButton);
        });
        EXPECT_EQ(dialog.Run(), IDC_EXIT);
        EXPECT_TRUE(preset);
    }
    EXPECT_TRUE(Logged(log.Lines(), "VQ_SetResolution(720, 480)"));

    MainDialog dialog(NoWriter(), CameraOutputFactory());
    script.WhenTitled("Resolution Setting",
                      [](QWidget& w) { QTest::keyClick(&w, Qt::Key_Escape); });
    EXPECT_EQ(dialog.Run(), 0);
    EXPECT_FALSE(Logged(log.Lines(), "VQ_SetResolution(640, 480)"));
}

TEST_F(MainDialogTest, TogglesReachThePaintedPicture) {
    folder.UsePlugin(TestPluginPath("test_plugin"));
    MainDialog dialog(NoWriter(), CameraOutputFactory());
    script.AcceptResolutionDialog();
    const QRect face(250, 150, 120, 120);
    QImage raw, masked, overlaid, boxed;
    script.WhenMainWindowShown([&](MainDialog& main) {
        TestPluginControl plugin(TestPluginPath("test_plugin"));
        const std::vector<std::uint8_t> frame = FaceFrame(640, 480, face);
        plugin.SetFrame(640, 480, frame.data());
        QTest::qWait(100);
        raw = Picture(main);
        QTest::mouseClick(&Control<QPushButton>(main, 1003), Qt::LeftButton);  // "&Mask"
        QTest::qWait(100);
        masked = Picture(main);
        QTest::mouseClick(&Control<QPushButton>(main, 1003), Qt::LeftButton);
        QTest::mouseClick(&Control<QPushButton>(main, 1001), Qt::LeftButton);  // "&intercepter"
        QTest::qWait(100);
        overlaid = Picture(main);
        QTest::mouseClick(&Control<QPushButton>(main, 1005), Qt::LeftButton);  // "&Box"
        QTest::qWait(100);
        boxed = Picture(main);
        main.done(IDC_EXIT);
    });
    dialog.Run();

    EXPECT_EQ(raw.pixel(face.center()), SKIN);
    EXPECT_EQ(CountColour(raw, SKIN), face.width() * face.height());
    EXPECT_EQ(masked.pixel(face.center()), qRgb(0, 0, 255));
    EXPECT_EQ(CountColour(masked, qRgb(0, 0, 255)), face.width() * face.height());
    EXPECT_EQ(masked.pixel(10, 10), WALL);
    // The overlay covers the middle of the face; the outline is red on top of it.
    EXPECT_NE(overlaid.pixel(face.center()), SKIN);
    EXPECT_LT(CountColour(overlaid, SKIN), face.width() * face.height() / 2);
    EXPECT_EQ(CountColour(overlaid, qRgb(255, 0, 0)), 0);
    EXPECT_GT(CountColour(boxed, qRgb(255, 0, 0)), 4 * 100);
}

TEST_F(MainDialogTest, TitleShowsTheFrameRateAndTheRecordingMark) {
    folder.UsePlugin(TestPluginPath("test_plugin"));
    MainDialog dialog([](UiThreadCall&) { return std::make_unique<StillWriter>(); },
                      CameraOutputFactory());
    script.AcceptResolutionDialog();
    QString idleTitle, recordingTitle;
    std::pair<QString, QString> settingsShown;
    script.WhenMainWindowShown([&](MainDialog& main) {
        QTest::qWait(1300);
        idleTitle = main.windowTitle();
        script.WhenTitled("Capture Settings", [&](QWidget& w) {
            settingsShown = {Control<QLineEdit>(w, 1007).text(),
                             Control<QLineEdit>(w, 1008).text()};
            QTest::mouseClick(&Control<QPushButton>(w, DIALOG_OK), Qt::LeftButton);
        });
        QTest::mouseClick(&Control<QPushButton>(main, IDC_CAPTURE), Qt::LeftButton);
        QTest::qWait(1300);
        recordingTitle = main.windowTitle();
        main.done(IDC_EXIT);
    });
    dialog.Run();
    EXPECT_TRUE(
        QRegularExpression("^Ravkeler / FPS = [1-9][0-9]*\\.[0-9]$").match(idleTitle).hasMatch())
        << idleTitle.toStdString();
    EXPECT_EQ(settingsShown, std::make_pair(QString("15"), QString("5")));
    EXPECT_TRUE(recordingTitle.startsWith("[CAPTURING] Ravkeler / FPS = "))
        << recordingTitle.toStdString();
}

TEST_F(MainDialogTest, ShiftCaptureSavesTheSnapshotPairWithoutAskingForSettings) {
    folder.UsePlugin(TestPluginPath("test_plugin"));
    MainDialog dialog(NoWriter(), CameraOutputFactory());
    script.AcceptResolutionDialog();
    bool settingsAsked = false;
    script.WhenMainWindowShown([&](MainDialog& main) {
        QTest::qWait(100);
        script.WhenTitled("Capture Settings", [&](QWidget& w) {
            settingsAsked = true;
            static_cast<QDialog&>(w).reject();
        });
        QTest::mouseClick(&Control<QPushButton>(main, IDC_CAPTURE), Qt::LeftButton,
                          Qt::ShiftModifier);
        QTest::qWait(50);
        main.done(IDC_EXIT);
    });
    dialog.Run();
    EXPECT_FALSE(settingsAsked);
    EXPECT_EQ(ReadFileBytes(folder.File("capture_original.bmp")).size(), 54u + 640u * 480u * 3u);
    EXPECT_EQ(ReadFileBytes(folder.File("capture_ravk.bmp")).size(), 54u + 640u * 480u * 3u);
}

// Pixels of a saved 640 x 480 snapshot that are not the wall: what covers the lost face.
int CoveredPixels(const std::vector<std::uint8_t>& bmp) {
    int count = 0;
    for (std::size_t at = 54; at + 3 <= bmp.size(); at += 3) {
        count += qRgb(bmp[at + 2], bmp[at + 1], bmp[at]) == WALL ? 0 : 1;
    }
    return count;
}

TEST_F(MainDialogTest, LostFaceStaysCoveredForKeepCoveredMsThenTheCoverGoes) {
    for (const bool hold : {true, false}) {
        std::ofstream(folder.File("ravk.ini"))
            << "[ravk]\nDLL=" << TestPluginPath("test_plugin") << "\n"
            << (hold ? "KeepCoveredMs=1000\n" : "");
        MainDialog dialog(NoWriter(), CameraOutputFactory());
        script.AcceptResolutionDialog();
        int soon = -1, later = -1;
        script.WhenMainWindowShown([&](MainDialog& main) {
            TestPluginControl plugin(TestPluginPath("test_plugin"));
            const std::vector<std::uint8_t> face = FaceFrame(640, 480, QRect(250, 150, 120, 120));
            const std::vector<std::uint8_t> wall = FaceFrame(640, 480, QRect());
            plugin.SetFrame(640, 480, face.data());
            QTest::mouseClick(&Control<QPushButton>(main, IDC_INTERCEPTER), Qt::LeftButton);
            QTest::qWait(200);
            plugin.SetFrame(640, 480, wall.data());
            const auto snapshotAfter = [&](int milliseconds) {
                QTest::qWait(milliseconds);
                QTest::mouseClick(&Control<QPushButton>(main, IDC_CAPTURE), Qt::LeftButton,
                                  Qt::ShiftModifier);
                return CoveredPixels(ReadFileBytes(folder.File("capture_ravk.bmp")));
            };
            soon = snapshotAfter(300);
            later = snapshotAfter(1700);
            main.done(IDC_EXIT);
        });
        dialog.Run();
        if (hold) {
            EXPECT_GT(soon, 2000);
        } else {
            EXPECT_EQ(soon, 0);
        }
        EXPECT_EQ(later, 0) << hold;
    }
}

TEST_F(MainDialogTest, OptionAdoptsTheNewSizeAndTheTimerRunsOn) {
    folder.UsePlugin(TestPluginPath("test_plugin"));
    MainDialog dialog(NoWriter(), CameraOutputFactory());
    script.AcceptResolutionDialog();
    std::size_t logLinesAfterOption = 0;
    QImage stretched;
    script.WhenMainWindowShown([&](MainDialog& main) {
        TestPluginControl plugin(TestPluginPath("test_plugin"));
        const std::vector<std::uint8_t> frame = FaceFrame(320, 240, QRect(0, 0, 160, 120));
        plugin.SetFrame(320, 240, frame.data());
        QTest::mouseClick(&Control<QPushButton>(main, IDC_OPTION), Qt::LeftButton);
        logLinesAfterOption = log.Lines().size();
        QTest::qWait(200);
        stretched = Picture(main);
        main.done(IDC_EXIT);
    });
    dialog.Run();
    const std::vector<std::string> lines = log.Lines();
    EXPECT_TRUE(Logged(lines, "VQ_DoModalOptionDlg"));
    EXPECT_EQ(dialog.Controller().CaptureWidth(), 320);
    EXPECT_EQ(dialog.Controller().Surface().width, 320);
    EXPECT_GT(lines.size(), logLinesAfterOption + 4);  // grabs go on after the option dialog
    // The 320 x 240 picture fills the whole area: its top-left quarter is the skin rectangle.
    EXPECT_EQ(CountColour(stretched, SKIN), 320 * 240);
    EXPECT_EQ(stretched.pixel(319, 239), SKIN);
    EXPECT_EQ(stretched.pixel(320, 240), WALL);
}

TEST_F(MainDialogTest, EnterEscAndTheCloseBoxEndWithTheirCommands) {
    folder.UsePlugin(TestPluginPath("test_plugin"));
    const std::function<void(MainDialog&)> ends[] = {
        [](MainDialog& main) {
            Control<QPushButton>(main, 1001).setFocus();  // a toggle: Enter is still "OK"
            QTest::keyClick(&main, Qt::Key_Return);
        },
        [](MainDialog& main) { QTest::keyClick(&main, Qt::Key_Escape); },
        [](MainDialog& main) { main.close(); },
    };
    const int expected[] = {DIALOG_OK, DIALOG_CANCEL, DIALOG_CANCEL};
    for (std::size_t i = 0; i < std::size(ends); ++i) {
        MainDialog dialog(NoWriter(), CameraOutputFactory());
        script.AcceptResolutionDialog();
        script.WhenMainWindowShown(ends[i]);
        EXPECT_EQ(dialog.Run(), expected[i]);
    }
}

TEST_F(MainDialogTest, ControlsStartUncheckedInTheTemplatesTabOrderAndThePictureFits) {
    folder.UsePlugin(TestPluginPath("test_plugin"));
    MainDialog dialog(NoWriter(), CameraOutputFactory());
    const QString order[] = {"1001", "1003", "1005", "1004", "1006",
                             "1007", "1002", "1000", "1008"};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        auto* control = dialog.findChild<QAbstractButton*>(order[i]);
        ASSERT_NE(control, nullptr);
        EXPECT_FALSE(control->isChecked());
        EXPECT_EQ(control->nextInFocusChain()->objectName(), order[i + 1]);
    }
    EXPECT_EQ(dialog.findChild<QPushButton*>("1001")->text(), "&intercepter");
    EXPECT_FALSE(dialog.findChild<QPushButton*>("1000")->autoDefault());
    EXPECT_GE(dialog.width(), PICTURE_AREA.right);
    EXPECT_GE(dialog.height(), PICTURE_AREA.bottom);
}

TEST_F(MainDialogTest, FixedSceneWithMaskAndBoxIsSavedAsTheSameFileOnEveryPlatform) {
    folder.UsePlugin(TestPluginPath("test_plugin_fixed_scene"));
    MainDialog dialog(NoWriter(), CameraOutputFactory());
    script.AcceptResolutionDialog();
    script.WhenMainWindowShown([&](MainDialog& main) {
        QTest::mouseClick(&Control<QPushButton>(main, IDC_MASK), Qt::LeftButton);
        QTest::mouseClick(&Control<QPushButton>(main, IDC_BOX), Qt::LeftButton);
        QTest::qWait(200);  // a few ticks and paints
        QTest::mouseClick(&Control<QPushButton>(main, IDC_CAPTURE), Qt::LeftButton,
                          Qt::ShiftModifier);
        main.done(IDC_EXIT);
    });
    dialog.Run();
    EXPECT_EQ(Fnv1aDigest(ReadFileBytes(folder.File("capture_ravk.bmp"))),
              FIXED_SCENE_MASK_BOX_SNAPSHOT_DIGEST);
}

}  // namespace
