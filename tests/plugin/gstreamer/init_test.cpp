// Starting the capture on real device listings: a camera whose frames cannot be read, and the
// choice among two or three in the real dialog.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QListWidget>
#include <QMessageBox>
#include <QTest>

#include "grablet_harness.h"
#include "plugin_control_ids.h"
#include "support/fake_camera.h"

namespace {

// Pixel colours of the solid cameras, blue green red.
const std::vector<std::uint8_t> RED{0, 0, 255};
const std::vector<std::uint8_t> BLUE{255, 0, 0};

std::vector<std::uint8_t> FirstPixel(const std::vector<std::uint8_t>& frame) {
    return {frame.begin(), frame.begin() + 3};
}

QListWidget* DeviceList(QWidget* dialog) {
    return dialog->findChild<QListWidget*>(QString::number(IDC_DEVICE_LIST));
}

std::vector<std::string> Entries(QListWidget* list) {
    std::vector<std::string> entries;
    for (int i = 0; i < list->count(); ++i) {
        entries.push_back(list->item(i)->text().toStdString());
    }
    return entries;
}

void DoubleClickRow(QListWidget* list, int row) {
    const QPoint centre = list->visualItemRect(list->item(row)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
}

TEST(GrabletInitTest, UnreadableFramesFailWithTheVideoHeaderMessage) {
    SetFakeCameras({FakeCamera{"Broken", "fakesrc", "video/x-raw"}});
    Grablet grablet;
    std::string message;
    std::string caption;
    ModalHandler modal([&](QWidget* window) {
        message = TextOf(window);
        caption = window->windowTitle().toStdString();
        auto* box = qobject_cast<QMessageBox*>(window);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->buttons().size(), 1);
        EXPECT_EQ(box->parentWidget(), nullptr);
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(grablet.onInit(nullptr), 0);
    EXPECT_EQ(message, "ビデオヘッダーを取得できませんでした");
    EXPECT_EQ(caption, "Grablet");
    EXPECT_EQ(grablet.capture(nullptr), 0);
    EXPECT_NE(grablet.onDestroy(), 0) << "destroy after a failed init";
}

TEST(GrabletInitTest, TwoCamerasAreOfferedInOrderAndOkTakesTheFirst) {
    SetFakeCameras({BgrCamera("Camera A", "red"), BgrCamera("Camera B", "blue")});
    Grablet grablet;
    std::vector<std::string> entries;
    int selected = -1;
    std::string title;
    ModalHandler modal([&](QWidget* dialog) {
        title = dialog->windowTitle().toStdString();
        entries = Entries(DeviceList(dialog));
        selected = DeviceList(dialog)->currentRow();
        QTest::keyClick(dialog, Qt::Key_Return);  // OK is the default button
    });
    ASSERT_NE(grablet.onInit(nullptr), 0);
    EXPECT_EQ(title, "デバイスの選択");
    EXPECT_EQ(entries, (std::vector<std::string>{"Camera A", "Camera B"}));
    EXPECT_EQ(selected, 0);
    EXPECT_EQ(FirstPixel(grablet.DeliveredFrame()), RED);
}

TEST(GrabletInitTest, DoubleClickTakesTheSecondCamera) {
    SetFakeCameras({BgrCamera("Camera A", "red"), BgrCamera("Camera B", "blue")});
    Grablet grablet;
    ModalHandler modal([](QWidget* dialog) { DoubleClickRow(DeviceList(dialog), 1); });
    ASSERT_NE(grablet.onInit(nullptr), 0);
    EXPECT_EQ(FirstPixel(grablet.DeliveredFrame()), BLUE);
}

TEST(GrabletInitTest, EscapeFailsWithoutMessage) {
    SetFakeCameras({BgrCamera("Camera A", "red"), BgrCamera("Camera B", "blue")});
    Grablet grablet;
    ModalHandler modal([](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    testing::internal::CaptureStdout();
    EXPECT_EQ(grablet.onInit(nullptr), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(modal.Handled());
    ModalHandler message([](QWidget* window) { window->close(); });
    QTest::qWait(50);
    EXPECT_FALSE(message.Handled()) << "no message box after the dialog";
    EXPECT_EQ(grablet.capture(nullptr), 0);
}

TEST(GrabletInitTest, TheListedCameraIsBoundEvenWhenTheCamerasChangeMeanwhile) {
    SetFakeCameras({BgrCamera("Camera A", "red"), BgrCamera("Camera B", "green"),
                    BgrCamera("Camera C", "blue")});
    Grablet grablet;
    std::vector<std::string> entries;
    ModalHandler modal([&](QWidget* dialog) {
        entries = Entries(DeviceList(dialog));
        // A camera unplugged while the user chooses: positions counted again would shift.
        SetFakeCameras({BgrCamera("Camera B", "green"), BgrCamera("Camera C", "blue")});
        DoubleClickRow(DeviceList(dialog), 2);
    });
    ASSERT_NE(grablet.onInit(nullptr), 0);
    EXPECT_EQ(entries, (std::vector<std::string>{"Camera A", "Camera B", "Camera C"}));
    EXPECT_EQ(FirstPixel(grablet.DeliveredFrame()), BLUE);
}

}  // namespace
