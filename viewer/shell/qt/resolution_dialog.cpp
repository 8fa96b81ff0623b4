#include "resolution_dialog.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "dialog_units.h"

namespace {

constexpr DialogRect DIALOG_SIZE{0, 0, 294, 98};
constexpr int FONT_POINTS = 8;

const char* const PROMPT =
    "解像度を選んでください．\n"
    "但し，キャプチャデバイスによっては対応していない解像度もあります．\n"
    "試行錯誤でうまくいく解像度を探してください :-)";

class ResolutionDialog final : public QDialog {
  public:
    explicit ResolutionDialog(QWidget* owner) : QDialog(owner) {
        const DialogBaseUnits units =
            ApplyDialogTemplate(*this, FONT_POINTS, "Resolution Setting", DIALOG_SIZE);
        auto* prompt = new QLabel(QString::fromUtf8(PROMPT), this);
        prompt->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        prompt->setWordWrap(true);
        prompt->setGeometry(ToPixels({27, 7, 229, 29}, units));
        size320x240_ = Radio("320x240", IDC_RESOLUTION_320X240, {27, 39, 44, 10}, units);
        size640x480_ = Radio("640x480", IDC_RESOLUTION_640X480, {27, 54, 44, 10}, units);
        size720x480_ = Radio("720x480", IDC_RESOLUTION_720X480, {27, 70, 44, 10}, units);
        auto* ok = new QPushButton("OK", this);
        ok->setObjectName(QString::number(DIALOG_OK));
        ok->setGeometry(ToPixels({237, 77, 50, 14}, units));
        ok->setDefault(true);
        connect(ok, &QPushButton::clicked, this, &ResolutionDialog::accept);
        findChild<QRadioButton*>(QString::number(IDC_RESOLUTION_PRESELECTED))->setChecked(true);
    }

    ResolutionDialogResult Result(int result) const {
        return ResolutionDialogResult{result, size320x240_->isChecked(), size640x480_->isChecked(),
                                      size720x480_->isChecked()};
    }

    void accept() override { done(DIALOG_OK); }
    void reject() override { done(DIALOG_CANCEL); }

  private:
    QRadioButton* Radio(const char* text, int id, const DialogRect& rect, DialogBaseUnits units) {
        auto* button = new QRadioButton(text, this);
        button->setObjectName(QString::number(id));
        button->setGeometry(ToPixels(rect, units));
        return button;
    }

    QRadioButton* size320x240_ = nullptr;
    QRadioButton* size640x480_ = nullptr;
    QRadioButton* size720x480_ = nullptr;
};

}  // namespace

ResolutionDialogResult RunResolutionDialog(QWidget* owner) {
    ResolutionDialog dialog(owner);
    const int result = dialog.exec();
    return dialog.Result(result);
}
