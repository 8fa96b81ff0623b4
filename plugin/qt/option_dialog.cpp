#include "option_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "plugin_control_ids.h"
#include "qt/dialog_units.h"

namespace {

constexpr DialogRect DIALOG_SIZE{0, 0, 219, 102};
constexpr int FONT_POINTS = 9;

QPushButton* AddButton(QDialog& dialog, const char* text, int id, const DialogRect& rect,
                       DialogBaseUnits units, const std::function<void()>& action) {
    auto* button = new QPushButton(text, &dialog);
    button->setObjectName(QString::number(id));
    button->setGeometry(ToPixels(rect, units));
    button->setAutoDefault(false);
    QObject::connect(button, &QPushButton::clicked, &dialog, action);
    return button;
}

}  // namespace

COptionDlg::COptionDlg(const OptionDialogRows& rows, const OptionDialogButtons& buttons)
    : QDialog(nullptr) {
    const DialogBaseUnits units =
        ApplyDialogTemplate(*this, FONT_POINTS, "Grablet オプション", DIALOG_SIZE);
    auto* list = new QTreeWidget(this);
    list->setObjectName(QString::number(IDC_OPTION_TABLE));
    list->setGeometry(ToPixels({7, 7, 151, 44}, units));
    list->setRootIsDecorated(false);
    list->setHeaderLabels({"属性", "値"});
    list->header()->resizeSection(0, 80);
    list->header()->resizeSection(1, 160);
    list->addTopLevelItem(
        new QTreeWidgetItem({"デバイス名", QString::fromStdString(rows.deviceName)}));
    list->addTopLevelItem(new QTreeWidgetItem({"幅", QString::number(rows.width)}));
    list->addTopLevelItem(new QTreeWidgetItem({"高さ", QString::number(rows.height)}));
    AddButton(*this, "入力設定(&O)", IDC_INPUT_SETTINGS, {7, 59, 56, 14}, units,
              buttons.inputSettings);
    AddButton(*this, "ソース設定(&S)", IDC_SOURCE_SETTINGS, {70, 59, 56, 14}, units,
              buttons.sourceSettings);
    auto* note = new QLabel("入力を切替えるには再度このDLLを開始してください", this);
    note->setGeometry(ToPixels({7, 81, 150, 8}, units));
    AddButton(*this, "OK", IDC_GRABLET_OK, {162, 80, 50, 14}, units, [this] {
        accept();
    })->setDefault(true);
}

std::optional<std::size_t> RunSourceSizeDialog(QWidget* owner, const std::vector<FrameSize>& sizes,
                                               std::size_t current) {
    QDialog dialog(owner);
    dialog.setWindowTitle("ソース設定");
    auto* layout = new QVBoxLayout(&dialog);
    auto* choice = new QComboBox(&dialog);
    choice->setObjectName("sizes");
    for (const FrameSize& size : sizes) {
        choice->addItem(QString("%1 x %2").arg(size.width).arg(size.height));
    }
    choice->setCurrentIndex(static_cast<int>(current));
    layout->addWidget(choice);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted || choice->currentIndex() < 0) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(choice->currentIndex());
}

void RunPictureControlsDialog(QWidget* owner, const std::vector<PictureControl>& controls,
                              const std::function<void(std::size_t, int)>& setValue) {
    QDialog dialog(owner);
    dialog.setWindowTitle("入力設定");
    auto* form = new QFormLayout(&dialog);
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const QString name = QString::fromStdString(controls[i].name);
        auto* slider = new QSlider(Qt::Horizontal, &dialog);
        slider->setObjectName(name);
        slider->setRange(controls[i].minimum, controls[i].maximum);
        slider->setValue(controls[i].value);
        QObject::connect(slider, &QSlider::valueChanged, &dialog,
                         [&setValue, i](int value) { setValue(i, value); });
        form->addRow(name, slider);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    dialog.exec();
}
