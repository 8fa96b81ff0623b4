#include "compressor_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPointer>
#include <QSlider>
#include <QSpinBox>

std::optional<CompressorChoice> RunCompressorDialog(QWidget* owner,
                                                    const std::vector<CompressorOption>& options) {
    QDialog dialog(owner);
    dialog.setWindowTitle("Video Compression");
    auto* compressor = new QComboBox(&dialog);
    for (const CompressorOption& option : options) {
        compressor->addItem(QString::fromStdString(option.label));
    }
    auto* quality = new QSlider(Qt::Horizontal, &dialog);
    quality->setRange(QUALITY_MIN, QUALITY_MAX);
    quality->setValue(DEFAULT_QUALITY);
    auto* qualityValue = new QLabel(QString::number(DEFAULT_QUALITY), &dialog);
    QObject::connect(quality, &QSlider::valueChanged, qualityValue,
                     [qualityValue](int value) { qualityValue->setNum(value); });
    auto* keyFrames = new QLabel("every frame", &dialog);
    auto* limitDataRate = new QCheckBox("&Data Rate", &dialog);
    auto* dataRate = new QSpinBox(&dialog);
    dataRate->setRange(DATA_RATE_MIN_KB, DATA_RATE_MAX_KB);
    dataRate->setValue(DEFAULT_DATA_RATE_KB);
    dataRate->setSuffix(" KB/sec");

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);

    auto* qualityRow = new QWidget(&dialog);
    auto* qualityLayout = new QHBoxLayout(qualityRow);
    qualityLayout->setContentsMargins(0, 0, 0, 0);
    qualityLayout->addWidget(quality);
    qualityLayout->addWidget(qualityValue);
    auto* layout = new QFormLayout(&dialog);
    layout->addRow("&Compressor:", compressor);
    layout->addRow("Compression &Quality:", qualityRow);
    layout->addRow("Key Frame:", keyFrames);
    layout->addRow(limitDataRate, dataRate);
    layout->addRow(buttons);

    // Quality and data rate only where the chosen compressor has them.
    auto update = [&] {
        const int index = compressor->currentIndex();
        const bool lossy = index >= 0 && options[static_cast<std::size_t>(index)].hasQuality;
        quality->setEnabled(lossy);
        limitDataRate->setEnabled(lossy);
        dataRate->setEnabled(lossy && limitDataRate->isChecked());
    };
    QObject::connect(compressor, &QComboBox::currentIndexChanged, &dialog, update);
    QObject::connect(limitDataRate, &QCheckBox::toggled, &dialog, update);
    update();

    if (options.empty() || dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    const CompressorOption& chosen = options[static_cast<std::size_t>(compressor->currentIndex())];
    CompressorChoice choice;
    choice.encoderName = chosen.encoderName;
    if (chosen.hasQuality) {
        choice.quality = quality->value();
        choice.dataRate = limitDataRate->isChecked() ? dataRate->value() : 0;
    }
    return choice;
}

ChooseCompressorFunction CompressorQuestion(UiThreadCall& uiCall, QWidget* owner) {
    return [&uiCall, owner = QPointer<QWidget>(owner)](const std::vector<CompressorOption>& options,
                                                       const RecordingFormat&) {
        return uiCall
            .Ask<std::optional<CompressorChoice>>([owner, options] {
                return owner.isNull() ? std::nullopt : RunCompressorDialog(owner, options);
            })
            .value_or(std::nullopt);
    };
}
