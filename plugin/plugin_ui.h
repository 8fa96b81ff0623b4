// The plug-in's windows, provided by the platform: a PlatformPluginUi in qt/ or win32/.
// GrabletController decides when each one shows and what follows from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture_backend.h"

enum class MessageBoxOwner { None, OptionDialog };

// The option dialog's table, filled once when it opens.
struct OptionDialogRows {
    std::string deviceName;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// What the option dialog's two buttons do.
struct OptionDialogButtons {
    std::function<void()> inputSettings;   // "入力設定(&O)"
    std::function<void()> sourceSettings;  // "ソース設定(&S)"
};

class PluginUi {
  public:
    virtual ~PluginUi() = default;

    // Lets the user pick one of two or more devices, the first preselected, without an owner.
    // None when the choice was cancelled or nothing was selected.
    virtual std::optional<std::size_t> ChooseDevice(const std::vector<std::string>& names) = 0;

    // The modal option dialog without an owner; returns when it is closed.
    virtual void RunOptionDialog(const OptionDialogRows& rows,
                                 const OptionDialogButtons& buttons) = 0;

    // A modal message box with one OK button; OptionDialog only while that dialog is open.
    virtual void ShowMessage(const std::string& text, const std::string& caption,
                             MessageBoxOwner owner) = 0;

    // From the option dialog: lets the user pick one of sizes, sizes[current] preselected. None
    // when cancelled.
    virtual std::optional<std::size_t> ChooseSourceSize(const std::vector<PixelSize>& sizes,
                                                        std::size_t current) = 0;

    // From the option dialog: one setting per control at its value, each change passed to
    // setValue (index in controls, new value) at once; returns when the window is closed.
    virtual void RunPictureControls(const std::vector<PictureControl>& controls,
                                    const std::function<void(std::size_t, int)>& setValue) = 0;
};

// The platform's windows.
std::unique_ptr<PluginUi> CreatePluginUi();
