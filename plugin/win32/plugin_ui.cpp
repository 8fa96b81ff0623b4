// The plug-in's windows on Win32: dialogs from grablet.rc run by plain dialog procedures, and
// message boxes through the W functions.
#include <windows.h>

#include "device_select_dialog.h"
#include "option_dialog.h"
#include "plugin_ui.h"
#include "wide_text.h"

namespace {

class PlatformPluginUi final : public PluginUi {
  public:
    std::optional<std::size_t> ChooseDevice(const std::vector<std::string>& names) override {
        return RunDeviceSelectDialog(names);
    }

    void RunOptionDialog(const OptionDialogRows& rows,
                         const OptionDialogButtons& buttons) override {
        ::RunOptionDialog(rows, buttons, optionDialog_);
    }

    void ShowMessage(const std::string& text, const std::string& caption,
                     MessageBoxOwner owner) override {
        MessageBoxW(owner == MessageBoxOwner::OptionDialog ? optionDialog_ : nullptr,
                    Widen(text).c_str(), Widen(caption).c_str(), MB_OK);
    }

    // DirectShow devices bring their own pages for sizes and picture settings (the back end
    // shows them), so these two are never asked for.
    std::optional<std::size_t> ChooseSourceSize(const std::vector<PixelSize>&,
                                                std::size_t) override {
        return std::nullopt;
    }
    void RunPictureControls(const std::vector<PictureControl>&,
                            const std::function<void(std::size_t, int)>&) override {}

  private:
    HWND optionDialog_ = nullptr;  // while it is open
};

}  // namespace

std::unique_ptr<PluginUi> CreatePluginUi() {
    return std::make_unique<PlatformPluginUi>();
}
