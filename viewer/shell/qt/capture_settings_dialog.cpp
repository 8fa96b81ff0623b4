#include "capture_settings_dialog.h"

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "capture_settings.h"
#include "dialog_units.h"

namespace {

constexpr DialogRect DIALOG_SIZE{0, 0, 170, 76};
constexpr int FONT_POINTS = 8;

class CaptureSettingsDialog final : public QDialog {
  public:
    CaptureSettingsDialog(QWidget* owner, const std::string& fpsText,
                          const std::string& secondsText)
        : QDialog(owner) {
        const DialogBaseUnits units =
            ApplyDialogTemplate(*this, FONT_POINTS, "Capture Settings", DIALOG_SIZE);
        Label("FPS", {7, 12, 13, 8}, units);
        fps_ = Field(fpsText, IDC_RECORD_FPS, {40, 9, 40, 14}, units);
        Label("[fps]", {89, 12, 16, 8}, units);
        Label("Length", {7, 34, 23, 8}, units);
        seconds_ = Field(secondsText, IDC_RECORD_SECONDS, {40, 31, 40, 14}, units);
        QPushButton* ok = Button("OK", DIALOG_OK, {51, 55, 50, 14}, units);
        ok->setDefault(true);
        connect(ok, &QPushButton::clicked, this, &CaptureSettingsDialog::accept);
        QPushButton* cancel = Button("キャンセル", DIALOG_CANCEL, {113, 55, 50, 14}, units);
        connect(cancel, &QPushButton::clicked, this, &CaptureSettingsDialog::reject);
        Label("[sec]", {89, 34, 17, 8}, units);
        Label(RangeLabel(RECORD_FPS_MIN, RECORD_FPS_MAX), {116, 12, 28, 8}, units);
        Label(RangeLabel(RECORD_SECONDS_MIN, RECORD_SECONDS_MAX), {116, 34, 28, 8}, units);
    }

    CaptureSettingsDialogResult Result(int result) const {
        return CaptureSettingsDialogResult{result, fps_->text().toStdString(),
                                           seconds_->text().toStdString()};
    }

    void accept() override { done(DIALOG_OK); }
    void reject() override { done(DIALOG_CANCEL); }

  private:
    void Label(const std::string& text, const DialogRect& rect, DialogBaseUnits units) {
        auto* label = new QLabel(QString::fromStdString(text), this);
        label->setGeometry(ToPixels(rect, units));
    }
    QLineEdit* Field(const std::string& text, int id, const DialogRect& rect,
                     DialogBaseUnits units) {
        auto* field = new QLineEdit(QString::fromStdString(text), this);
        field->setObjectName(QString::number(id));
        field->setGeometry(ToPixels(rect, units));
        return field;
    }
    QPushButton* Button(const char* text, int id, const DialogRect& rect, DialogBaseUnits units) {
        auto* button = new QPushButton(QString::fromUtf8(text), this);
        button->setObjectName(QString::number(id));
        button->setGeometry(ToPixels(rect, units));
        return button;
    }

    QLineEdit* fps_ = nullptr;
    QLineEdit* seconds_ = nullptr;
};

}  // namespace

CaptureSettingsDialogResult RunCaptureSettingsDialog(QWidget* owner, const std::string& fpsText,
                                                     const std::string& secondsText) {
    CaptureSettingsDialog dialog(owner, fpsText, secondsText);
    const int result = dialog.exec();
    return dialog.Result(result);
}
