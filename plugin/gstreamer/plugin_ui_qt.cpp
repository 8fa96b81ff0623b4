// The plug-in's windows on Qt. They run in the host's QApplication; a host without one (a
// console program) gets no windows: the first device, messages on standard error.
#include <QApplication>
#include <QMessageBox>
#include <cstdio>

#include "device_select_dialog.h"
#include "gst_capture_backend.h"
#include "option_dialog.h"
#include "plugin_ui.h"

namespace {

// Widgets need a QApplication, not merely a core application.
bool HasWidgets() {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

}  // namespace

std::unique_ptr<CaptureBackend> CreateCaptureBackend() {
    return std::make_unique<GstCaptureBackend>();
}

std::optional<std::size_t> ChooseDevice(const std::vector<std::string>& names) {
    if (!HasWidgets()) {
        return 0;
    }
    return RunDeviceSelectDialog(names);
}

void ShowPluginMessage(const char* text) {
    if (!HasWidgets()) {
        std::fprintf(stderr, "Grablet: %s\n", text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, "Grablet", QString::fromUtf8(text), QMessageBox::Ok);
    box.exec();
}

void ShowOptionDialog(PluginState& state) {
    if (!HasWidgets()) {
        return;
    }
    RunOptionDialog(state);
}
