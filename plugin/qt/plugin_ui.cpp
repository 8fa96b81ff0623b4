// The plug-in's windows on Qt. They run in the host's QApplication; a host without one (a
// console program) gets no windows: the first device, messages on standard error.
#include <QApplication>
#include <QMessageBox>
#include <cstdio>

#include "device_select_dialog.h"
#include "device_settings_dialogs.h"
#include "option_dialog.h"
#include "plugin_ui.h"

namespace {

// Widgets need a QApplication, not merely a core application.
bool HasWidgets() {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

class PlatformPluginUi final : public PluginUi {
  public:
    std::optional<std::size_t> ChooseDevice(const std::vector<std::string>& names) override {
        if (!HasWidgets()) {
            return 0;
        }
        return RunDeviceSelectDialog(names);
    }

    void RunOptionDialog(const OptionDialogRows& rows,
                         const OptionDialogButtons& buttons) override {
        if (!HasWidgets()) {
            return;
        }
        ::RunOptionDialog(rows, buttons, optionDialog_);
    }

    void ShowMessage(const std::string& text, const std::string& caption,
                     MessageBoxOwner owner) override {
        if (!HasWidgets()) {
            std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
            return;
        }
        QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption),
                        QString::fromStdString(text), QMessageBox::Ok,
                        owner == MessageBoxOwner::OptionDialog ? optionDialog_ : nullptr);
        box.exec();
    }

    std::optional<std::size_t> ChooseSourceSize(const std::vector<PixelSize>& sizes,
                                                std::size_t current) override {
        return RunSourceSizeDialog(optionDialog_, sizes, current);
    }

    void RunPictureControls(const std::vector<PictureControl>& controls,
                            const std::function<void(std::size_t, int)>& setValue) override {
        RunPictureControlsDialog(optionDialog_, controls, setValue);
    }

  private:
    QWidget* optionDialog_ = nullptr;  // while it is open
};

}  // namespace

std::unique_ptr<PluginUi> CreatePluginUi() {
    return std::make_unique<PlatformPluginUi>();
}
