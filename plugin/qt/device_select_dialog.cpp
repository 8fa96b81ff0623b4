#include "device_select_dialog.h"

#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "dialog_units.h"
#include "plugin_control_ids.h"

namespace {

constexpr DialogRect DIALOG_SIZE{0, 0, 202, 99};
constexpr int FONT_POINTS = 9;

class CDeviceSelectDlg final : public QDialog {
  public:
    explicit CDeviceSelectDlg(const std::vector<std::string>& names) : QDialog(nullptr) {
        const DialogBaseUnits units =
            ApplyDialogTemplate(*this, FONT_POINTS, "デバイスの選択", DIALOG_SIZE);
        auto* prompt = new QLabel("使用するキャプチャデバイスを選択してください", this);
        prompt->setGeometry(ToPixels({7, 7, 140, 8}, units));
        list_ = new QListWidget(this);
        list_->setObjectName(QString::number(IDC_DEVICE_LIST));
        list_->setGeometry(ToPixels({7, 21, 188, 50}, units));
        list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        for (const std::string& name : names) {
            list_->addItem(QString::fromStdString(name));
        }
        list_->setCurrentRow(0);
        auto* ok = new QPushButton("OK", this);
        ok->setObjectName(QString::number(IDC_GRABLET_OK));
        ok->setGeometry(ToPixels({145, 78, 50, 14}, units));
        ok->setDefault(true);
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
        connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    }

    std::optional<std::size_t> Selected() const {
        const int row = list_->currentRow();
        if (row < 0 || list_->selectedItems().isEmpty()) {
            return std::nullopt;
        }
        return static_cast<std::size_t>(row);
    }

  private:
    QListWidget* list_ = nullptr;
};

}  // namespace

std::optional<std::size_t> RunDeviceSelectDialog(const std::vector<std::string>& names) {
    CDeviceSelectDlg dialog(names);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.Selected();
}
