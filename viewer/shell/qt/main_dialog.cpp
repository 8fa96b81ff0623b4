#include "main_dialog.h"

#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>

#include "capture_plugin.h"
#include "capture_settings_dialog.h"
#include "message_box.h"
#include "presentation.h"
#include "resolution_dialog.h"
#include "window_layout.h"

namespace {

constexpr DialogRect DIALOG_RECT{22, 17, 374, 308};
constexpr int FONT_POINTS = 9;

QRect PictureRect() {
    return QRect(PICTURE_AREA.left, PICTURE_AREA.top, Width(PICTURE_AREA), Height(PICTURE_AREA));
}

}  // namespace

MainDialog::MainDialog(VideoWriterFactory makeWriter, CameraOutputFactory makeCamera)
    : picture_(PICTURE_BYTES),
      controller_(*this, std::move(makeWriter), std::move(makeCamera),
                  std::make_unique<CapturePlugin>(), FindViewerFiles()) {
    const DialogBaseUnits units = ApplyDialogTemplate(*this, FONT_POINTS, "Ravkeler", DIALOG_RECT);
    const QRect frame = ToPixels(DIALOG_RECT, units);
    const PixelSize client = MainWindowClientSize({frame.width(), frame.height()});
    setFixedSize(client.width, client.height);
    move(frame.topLeft());  // the template's place on the screen

    // Created in the tab order.
    overlay_ = Toggle("&intercepter", IDC_INTERCEPTER, {7, 7, 44, 14}, units);
    mask_ = Toggle("&Mask", IDC_MASK, {54, 7, 24, 14}, units);
    box_ = Toggle("&Box", IDC_BOX, {82, 7, 20, 14}, units);
    regionExpansion_ = CheckBox("Region &Expansion", IDC_REGION_EXPANSION, {107, 9, 70, 10}, units);
    looseTracking_ = CheckBox("&Loose Tracking", IDC_LOOSE_TRACKING, {181, 9, 63, 10}, units);
    Command("&Capture", IDC_CAPTURE, {273, 7, 35, 14}, units);
    Command("&Option", IDC_OPTION, {310, 7, 30, 14}, units);
    Command("E&XIT", IDC_EXIT, {343, 7, 24, 14}, units);
    allRegions_ = CheckBox("&All", IDC_ALL, {247, 9, 23, 10}, units);

    frameTimer_.setTimerType(Qt::PreciseTimer);
    frameTimer_.setInterval(FRAME_PERIOD_MS);
    connect(&frameTimer_, &QTimer::timeout, this, [this] { controller_.OnTimer(); });
}

MainDialog::~MainDialog() {
    controller_.OnDestroy();
}

int MainDialog::Run() {
    if (!controller_.OnInit()) {
        return result();
    }
    return exec();
}

// The dialog has no default button, so Enter reaches keyPressEvent.
QPushButton* MainDialog::Button(const char* text, int id, const DialogRect& rect,
                                DialogBaseUnits units) {
    auto* button = new QPushButton(text, this);
    button->setObjectName(QString::number(id));
    button->setGeometry(ToPixels(rect, units));
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

QPushButton* MainDialog::Toggle(const char* text, int id, const DialogRect& rect,
                                DialogBaseUnits units) {
    QPushButton* button = Button(text, id, rect, units);
    button->setCheckable(true);
    return button;
}

void MainDialog::Command(const char* text, int id, const DialogRect& rect, DialogBaseUnits units) {
    connect(Button(text, id, rect, units), &QPushButton::clicked, this,
            [this, id] { controller_.OnCommand(id); });
}

QCheckBox* MainDialog::CheckBox(const char* text, int id, const DialogRect& rect,
                                DialogBaseUnits units) {
    auto* box = new QCheckBox(text, this);
    box->setObjectName(QString::number(id));
    box->setGeometry(ToPixels(rect, units));
    return box;
}

void MainDialog::ShowMessage(const std::string& text, MessageOwner owner,
                             const std::optional<std::string>& caption) {
    ShowMessageBox(owner == MessageOwner::MainWindow ? this : nullptr, text, caption);
}

ResolutionDialogResult MainDialog::RunResolutionDialog() {
    return ::RunResolutionDialog(this);
}

CaptureSettingsDialogResult MainDialog::RunCaptureSettingsDialog(const std::string& fpsText,
                                                                 const std::string& secondsText) {
    return ::RunCaptureSettingsDialog(this, fpsText, secondsText);
}

void MainDialog::StartFrameTimer() {
    frameTimer_.start();
}

void MainDialog::StopFrameTimer() {
    frameTimer_.stop();
}

void MainDialog::InvalidatePicture() {
    update(PictureRect());
}

void MainDialog::PresentSurface(const SurfaceView& surface) {
    shown_ = PictureToShow(surface, PictureBits(picture_.data(), PICTURE_BYTES));
}

void MainDialog::SetTitle(const std::string& title) {
    setWindowTitle(QString::fromStdString(title));
}

PaintControls MainDialog::ReadControls() {
    PaintControls controls;
    controls.options.maskEnabled = mask_->isChecked();
    controls.options.regionExpansion = regionExpansion_->isChecked();
    controls.options.looseTracking = looseTracking_->isChecked();
    controls.options.allRegions = allRegions_->isChecked();
    controls.overlayEnabled = overlay_->isChecked();
    controls.boxEnabled = box_->isChecked();
    return controls;
}

bool MainDialog::ShiftDown() {
    return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ShiftModifier);
}

void MainDialog::EndDialog(int result) {
    done(result);
}

void* MainDialog::NativeWindow() {
    return reinterpret_cast<void*>(winId());
}

bool MainDialog::PostToUiThread(std::function<void()> task) {
    return QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

void MainDialog::accept() {
    controller_.OnCommand(DIALOG_OK);
}

void MainDialog::reject() {
    controller_.OnCommand(DIALOG_CANCEL);
}

void MainDialog::paintEvent(QPaintEvent*) {
    shown_ = SurfaceView{};
    controller_.OnPaint();
    // Drawn after the paint let go of frameLock: only this thread writes the surface.
    if (HasRows(shown_)) {
        const QImage image(shown_.pixels, shown_.width, shown_.height,
                           static_cast<qsizetype>(shown_.stride), QImage::Format_BGR888);
        QPainter(this).drawImage(PICTURE_AREA.left, PICTURE_AREA.top, image);
    }
}

// Enter on a focused push button is that button's click; anywhere else it is the OK command.
void MainDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        auto* button = qobject_cast<QPushButton*>(focusWidget());
        if (button != nullptr && !button->isCheckable()) {
            button->click();
        } else {
            accept();
        }
        return;
    }
    QDialog::keyPressEvent(event);
}
