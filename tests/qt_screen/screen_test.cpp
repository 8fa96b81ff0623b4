#include <gtest/gtest.h>

#include <QDir>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <set>

#include "overlay_sprite.h"
#include "presentation.h"
#include "qt/viewer_harness.h"

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
    MainDialog dialog(NoWriter());
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
                            QSize(PICTURE_AREA.width, PICTURE_AREA.height));
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
    // Waits for a visible window whose title matches, gives it the focus and presses key there.
    static bool PressIn(const QString& title, const QString& key) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QString window =
                Xdotool({"search", "--onlyvisible", "--name", title}).section('\n', 0, 0);
            if (!window.isEmpty()) {
                Xdotool({"windowfocus", "--sync", window});
                Xdotool({"key", key});
                return true;
            }
            QTest::qWait(100);
        }
        return false;
    }
    // The visible windows of process pid, once it shows any.
    static QStringList VisibleWindowsOf(qint64 pid) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QString found =
                Xdotool({"search", "--onlyvisible", "--pid", QString::number(pid)});
            if (!found.isEmpty()) {
                return found.split('\n');
            }
            QTest::qWait(100);
        }
        return {};
    }
    int Run(const std::function<void(qint64 pid)>& drive) {
        QProcess ravk;
        ravk.setWorkingDirectory(QString::fromStdString(folder.Path().string()));
        ravk.start(QString(RAVK_BIN_DIR) + "/ravk", {});
        EXPECT_TRUE(ravk.waitForStarted());
        drive(ravk.processId());
        EXPECT_TRUE(ravk.waitForFinished(20000));
        return ravk.exitStatus() == QProcess::NormalExit ? ravk.exitCode() : -1;
    }
};

TEST_F(ProgramTest, EnterAndEscInTheMainWindowAndEscAtStartUpExitWithStatusOne) {
    for (const char* key : {"Return", "Escape"}) {
        const int status = Run([key](qint64) {
            EXPECT_TRUE(PressIn("^Resolution Setting$", "Return"));
            EXPECT_TRUE(PressIn("^Ravkeler", key));
        });
        EXPECT_EQ(status, 1) << key;
    }
    const int status = Run([](qint64) { EXPECT_TRUE(PressIn("^Resolution Setting$", "Escape")); });
    EXPECT_EQ(status, 1);
}

TEST_F(ProgramTest, AFailureWithAnEmptyCaptionHasAnEmptyTitleBar) {
    folder.UsePlugin(std::string(RAVK_BIN_DIR) + "/test_plugin_init_fails.so");
    QStringList titles;
    const int status = Run([&titles](qint64 pid) {
        for (const QString& window : VisibleWindowsOf(pid)) {  // the message box alone
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
    const int status = Run([](qint64) {
        EXPECT_TRUE(PressIn("^Resolution Setting$", "Return"));
        EXPECT_TRUE(PressIn("^Ravkeler", "alt+o"));  // reports 2147483647 x 2147483647 after it
        QTest::qWait(300);
        EXPECT_TRUE(PressIn("^Ravkeler", "alt+x"));
    });
    EXPECT_EQ(status, 1);
}

}  // namespace
