#include "device_settings_dialogs.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QSlider>
#include <QVBoxLayout>

std::optional<std::size_t> RunSourceSizeDialog(QWidget* owner, const std::vector<PixelSize>& sizes,
                                               std::size_t current) {
    QDialog dialog(owner);
    dialog.setWindowTitle("ソース設定");
    auto* layout = new QVBoxLayout(&dialog);
    auto* choice = new QComboBox(&dialog);
    choice->setObjectName("sizes");
    for (const PixelSize& size : sizes) {
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
