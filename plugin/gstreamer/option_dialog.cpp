#include "option_dialog.h"

#include <gst/video/colorbalance.h>

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "gst_capture_backend.h"
#include "plugin_state.h"
#include "qt/dialog_units.h"

namespace {

constexpr DialogRect DIALOG_SIZE{0, 0, 219, 102};
constexpr int FONT_POINTS = 9;

// The device's colour balance: its source element's own, or one inside it when the source is a
// bin. A reference of the caller's; null when there is none.
GstColorBalance* ColorBalanceOf(GstElement* source) {
    if (source == nullptr) {
        return nullptr;
    }
    if (GST_IS_COLOR_BALANCE(source)) {
        return GST_COLOR_BALANCE(gst_object_ref(source));
    }
    if (GST_IS_BIN(source)) {
        GstElement* inner = gst_bin_get_by_interface(GST_BIN(source), GST_TYPE_COLOR_BALANCE);
        return inner != nullptr ? GST_COLOR_BALANCE(inner) : nullptr;
    }
    return nullptr;
}

// The device's picture controls (brightness, contrast, hue and the like), each a slider that
// takes effect at once while frames keep flowing. Nothing opens for a device without any.
void RunDeviceControls(QWidget* owner, GstElement* source) {
    GstColorBalance* balance = ColorBalanceOf(source);
    if (balance == nullptr) {
        return;
    }
    const GList* channels = gst_color_balance_list_channels(balance);
    if (channels != nullptr) {
        QDialog dialog(owner);
        dialog.setWindowTitle("入力設定");
        auto* form = new QFormLayout(&dialog);
        for (const GList* item = channels; item != nullptr; item = item->next) {
            GstColorBalanceChannel* channel = GST_COLOR_BALANCE_CHANNEL(item->data);
            auto* slider = new QSlider(Qt::Horizontal, &dialog);
            slider->setObjectName(QString::fromUtf8(channel->label));
            slider->setRange(channel->min_value, channel->max_value);
            slider->setValue(gst_color_balance_get_value(balance, channel));
            QObject::connect(slider, &QSlider::valueChanged, &dialog,
                             [balance, channel](int value) {
                                 gst_color_balance_set_value(balance, channel, value);
                             });
            form->addRow(QString::fromUtf8(channel->label), slider);
        }
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
        QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
        form->addRow(buttons);
        dialog.exec();
    }
    gst_object_unref(balance);
}

// The device's sizes to choose from, the one in force selected. None when cancelled.
std::optional<FrameSize> RunSourceSizes(QWidget* owner, const std::vector<FrameSize>& sizes,
                                        FrameSize current) {
    QDialog dialog(owner);
    dialog.setWindowTitle("ソース設定");
    auto* layout = new QVBoxLayout(&dialog);
    auto* choice = new QComboBox(&dialog);
    choice->setObjectName("sizes");
    std::vector<FrameSize> offered = sizes;
    if (std::none_of(offered.begin(), offered.end(), [&](const FrameSize& size) {
            return size.width == current.width && size.height == current.height;
        })) {
        offered.insert(offered.begin(), current);
    }
    for (const FrameSize& size : offered) {
        choice->addItem(QString("%1 x %2").arg(size.width).arg(size.height));
        if (size.width == current.width && size.height == current.height) {
            choice->setCurrentIndex(choice->count() - 1);
        }
    }
    layout->addWidget(choice);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return offered[static_cast<std::size_t>(choice->currentIndex())];
}

class COptionDlg final : public QDialog {
  public:
    explicit COptionDlg(PluginState& state) : QDialog(nullptr), state_(state) {
        const DialogBaseUnits units =
            ApplyDialogTemplate(*this, FONT_POINTS, "Grablet オプション", DIALOG_SIZE);
        auto* list = new QTreeWidget(this);
        list->setObjectName("1002");
        list->setGeometry(ToPixels({7, 7, 151, 44}, units));
        list->setRootIsDecorated(false);
        list->setHeaderLabels({"属性", "値"});
        list->header()->resizeSection(0, 80);
        list->header()->resizeSection(1, 160);
        list->addTopLevelItem(
            new QTreeWidgetItem({"デバイス名", QString::fromStdString(state.deviceName)}));
        list->addTopLevelItem(new QTreeWidgetItem({"幅", QString::number(state.frameWidth)}));
        list->addTopLevelItem(new QTreeWidgetItem({"高さ", QString::number(state.frameHeight)}));
        Button("入力設定(&O)", 1003, {7, 59, 56, 14}, units, [this] {
            RunDeviceControls(this, Backend() != nullptr ? Backend()->Source() : nullptr);
        });
        Button("ソース設定(&S)", 1004, {70, 59, 56, 14}, units, [this] { ChangeSource(); });
        auto* note = new QLabel("入力を切替えるには再度このDLLを開始してください", this);
        note->setGeometry(ToPixels({7, 81, 150, 8}, units));
        QPushButton* ok = Button("OK", 1, {162, 80, 50, 14}, units, [this] { accept(); });
        ok->setDefault(true);
    }

  private:
    template <typename Action>
    QPushButton* Button(const char* text, int id, const DialogRect& rect, DialogBaseUnits units,
                        Action action) {
        auto* button = new QPushButton(text, this);
        button->setObjectName(QString::number(id));
        button->setGeometry(ToPixels(rect, units));
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, action);
        return button;
    }

    // Only a capture that reached a size has a flow to stop and restart.
    GstCaptureBackend* Backend() const {
        if (state_.frameBuffer.empty()) {
            return nullptr;
        }
        // The Qt windows only ever run over the GStreamer capture they were built with.
        return static_cast<GstCaptureBackend*>(state_.capture.get());
    }

    void ChangeSource() {
        const bool sized = ChangeSourceSize(
            state_, [this](const std::vector<FrameSize>& offered, FrameSize current) {
                return RunSourceSizes(this, offered, current);
            });
        if (!sized) {
            QMessageBox box(QMessageBox::NoIcon, "Grablet", NO_VIDEO_HEADER_MESSAGE,
                            QMessageBox::Ok, this);
            box.exec();
        }
    }

    PluginState& state_;
};

}  // namespace

void RunOptionDialog(PluginState& state) {
    COptionDlg dialog(state);
    dialog.exec();
}
