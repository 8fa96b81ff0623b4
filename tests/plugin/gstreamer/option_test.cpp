// The option dialog: what it shows, and the source button's size change.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>

#include "grablet_harness.h"
#include "plugin_control_ids.h"
#include "support/fake_camera.h"

namespace {

using Rows = std::vector<std::pair<std::string, std::string>>;

Rows RowsOf(QWidget* dialog) {
    Rows rows;
    auto* list = dialog->findChild<QTreeWidget*>(QString::number(IDC_OPTION_TABLE));
    for (int i = 0; list != nullptr && i < list->topLevelItemCount(); ++i) {
        rows.emplace_back(list->topLevelItem(i)->text(0).toStdString(),
                          list->topLevelItem(i)->text(1).toStdString());
    }
    return rows;
}

QPushButton* ButtonOf(QWidget* dialog, int id) {
    return dialog->findChild<QPushButton*>(QString::number(id));
}

// Picks text in the source dialog's size list and confirms it.
void ChooseSize(QWidget* sourceDialog, const QString& text) {
    auto* sizes = sourceDialog->findChild<QComboBox*>("sizes");
    ASSERT_NE(sizes, nullptr);
    const int index = sizes->findText(text);
    ASSERT_GE(index, 0) << text.toStdString();
    sizes->setCurrentIndex(index);
    sourceDialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
}

TEST(GrabletOptionTest, ShowsDeviceAndSizeAndClosesWithEscape) {
    SetFakeCameras({BgrCamera("Desk Camera", "red")});
    Grablet grablet;
    ASSERT_NE(grablet.onInit(nullptr), 0);
    ASSERT_NE(grablet.setResolution(640, 480), 0);
    std::string title;
    Rows rows;
    std::vector<std::string> buttons;
    ModalHandler modal([&](QWidget* dialog) {
        title = dialog->windowTitle().toStdString();
        rows = RowsOf(dialog);
        for (int id : {IDC_INPUT_SETTINGS, IDC_SOURCE_SETTINGS, IDC_GRABLET_OK}) {
            buttons.push_back(ButtonOf(dialog, id)->text().toStdString());
        }
        EXPECT_TRUE(ButtonOf(dialog, IDC_GRABLET_OK)->isDefault());
        EXPECT_EQ(dialog->parentWidget(), nullptr);
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    EXPECT_NE(grablet.doModalOptionDlg(), 0);
    EXPECT_EQ(title, "Grablet オプション");
    EXPECT_EQ(rows, (Rows{{"デバイス名", "Desk Camera"}, {"幅", "640"}, {"高さ", "480"}}));
    EXPECT_EQ(buttons, (std::vector<std::string>{"入力設定(&O)", "ソース設定(&S)", "OK"}));
}

TEST(GrabletOptionTest, SourceButtonAdoptsTheChosenSizeWithAZeroFrame) {
    SetFakeCameras({SlowCamera(BgrCamera("Desk Camera", "red"), 400)});
    Grablet grablet;
    ASSERT_NE(grablet.onInit(nullptr), 0);
    Rows rowsAfterChange;
    ModalHandler modal([&](QWidget* dialog) {
        ModalHandler source([](QWidget* sizes) { ChooseSize(sizes, "640 x 480"); }, dialog);
        ButtonOf(dialog, IDC_SOURCE_SETTINGS)->click();
        EXPECT_TRUE(source.Handled());
        rowsAfterChange = RowsOf(dialog);
        ButtonOf(dialog, IDC_GRABLET_OK)->click();
    });
    EXPECT_NE(grablet.doModalOptionDlg(), 0);
    // The rows are filled once, at opening.
    EXPECT_EQ(rowsAfterChange,
              (Rows{{"デバイス名", "Desk Camera"}, {"幅", "320"}, {"高さ", "240"}}));
    EXPECT_EQ(grablet.Resolution(), (Size{640, 480}));
    const std::vector<std::uint8_t> first = grablet.Frame();
    EXPECT_TRUE(std::all_of(first.begin(), first.end(), [](std::uint8_t b) { return b == 0; }));
    const std::vector<std::uint8_t> delivered = grablet.DeliveredFrame();
    EXPECT_EQ(std::vector<std::uint8_t>(delivered.begin(), delivered.begin() + 3),
              (std::vector<std::uint8_t>{0, 0, 255}));
}

TEST(GrabletOptionTest, InputButtonAppliesPictureControlsWhileFramesFlow) {
    SetFakeCameras({BalancedCamera("Desk Camera", "white")});
    Grablet grablet;
    ASSERT_NE(grablet.onInit(nullptr), 0);
    ASSERT_EQ(grablet.DeliveredFrame()[0], 255);
    std::uint8_t whileOpen = 255;
    ModalHandler modal([&](QWidget* dialog) {
        ModalHandler controls(
            [&](QWidget* window) {
                auto* brightness = window->findChild<QSlider*>("BRIGHTNESS");
                ASSERT_NE(brightness, nullptr);
                brightness->setValue(brightness->minimum());
                // The flow goes on: a darker frame arrives with the dialog still open.
                for (int i = 0; i < 200 && whileOpen == 255; ++i) {
                    QTest::qWait(10);
                    whileOpen = grablet.Frame()[0];
                }
                window->close();
            },
            dialog);
        ButtonOf(dialog, IDC_INPUT_SETTINGS)->click();
        EXPECT_TRUE(controls.Handled());
        dialog->close();
    });
    EXPECT_NE(grablet.doModalOptionDlg(), 0);
    EXPECT_LT(whileOpen, 128);
}

}  // namespace
