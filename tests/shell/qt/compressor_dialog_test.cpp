#include "compressor_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QSlider>
#include <QThread>
#include <QWidget>
#include <future>
#include <thread>

#include "shell/qt/viewer_harness.h"

namespace {

const std::vector<CompressorOption> OPTIONS = {
    {"rawvideo", "Uncompressed (24-bit RGB)", false},
    {"mjpeg", "Motion JPEG", true},
};

// Posts to the GUI thread the way the main window does.
UiThreadCall::PostFunction PostTo(QObject& owner) {
    return [&owner](std::function<void()> task) {
        return QMetaObject::invokeMethod(&owner, std::move(task), Qt::QueuedConnection);
    };
}

// Runs the event loop until the reply is ready (or a few seconds have passed).
template <typename Reply>
void WaitWithEvents(Reply& reply) {
    QElapsedTimer clock;
    clock.start();
    while (reply.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready &&
           clock.elapsed() < 5000) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

TEST(CompressorDialogTest, PreselectsUncompressedAndReturnsTheChosenCompressorAndQuality) {
    QWidget owner;
    ModalScript script;
    script.WhenTitled("Video Compression", [&owner](QWidget& dialog) {
        EXPECT_EQ(dialog.parentWidget(), &owner);  // owned by the main window
        auto* compressor = dialog.findChild<QComboBox*>();
        auto* quality = dialog.findChild<QSlider*>();
        EXPECT_EQ(compressor->currentIndex(), 0);
        EXPECT_FALSE(quality->isEnabled());  // uncompressed has no quality
        compressor->setCurrentIndex(1);
        EXPECT_TRUE(quality->isEnabled());
        quality->setValue(40);
        static_cast<QDialog&>(dialog).accept();
    });
    const std::optional<CompressorChoice> choice = RunCompressorDialog(&owner, OPTIONS);
    ASSERT_TRUE(choice.has_value());
    EXPECT_EQ(choice->encoderName, "mjpeg");
    EXPECT_EQ(choice->quality, 40);
    EXPECT_EQ(choice->dataRate, 0);

    script.WhenTitled("Video Compression",
                      [](QWidget& dialog) { static_cast<QDialog&>(dialog).reject(); });
    EXPECT_FALSE(RunCompressorDialog(&owner, OPTIONS).has_value());
}

TEST(CompressorDialogTest, QuestionIsAskedOnTheGuiThreadForTheRecorderThread) {
    QWidget owner;
    UiThreadCall uiCall(PostTo(owner));
    ModalScript script;
    script.WhenTitled("Video Compression", [](QWidget& dialog) {
        EXPECT_EQ(QThread::currentThread(), QApplication::instance()->thread());
        static_cast<QDialog&>(dialog).accept();
    });
    auto reply = std::async(std::launch::async, [f = CompressorQuestion(uiCall, &owner)] {
        return f(OPTIONS, RecordingFormat{});
    });
    WaitWithEvents(reply);
    const std::optional<CompressorChoice> choice = reply.get();
    ASSERT_TRUE(choice.has_value());
    EXPECT_EQ(choice->encoderName, "rawvideo");
}

TEST(CompressorDialogTest, ClosingTheWindowCancelsAQuestionThatWaitsForIt) {
    QWidget owner;
    UiThreadCall uiCall(PostTo(owner));
    // The GUI thread never gets to the question: the window closes first, as when the viewer
    // ends while a recording starts.
    auto reply = std::async(std::launch::async, [f = CompressorQuestion(uiCall, &owner)] {
        return f(OPTIONS, RecordingFormat{});
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    uiCall.Close();
    ASSERT_EQ(reply.wait_for(std::chrono::seconds(2)), std::future_status::ready);
    EXPECT_FALSE(reply.get().has_value());
    QApplication::processEvents();  // the queued question, run late, asks nobody
}

}  // namespace
