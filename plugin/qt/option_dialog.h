// COptionDlg, "Grablet オプション": what is in use (device name, width, height, as at opening)
// and two buttons, the device's own controls and its source formats; and the two windows those
// buttons open.
#pragma once

#include <QDialog>
#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

#include "plugin_ui.h"

class COptionDlg final : public QDialog {
  public:
    // Without an owner.
    COptionDlg(const OptionDialogRows& rows, const OptionDialogButtons& buttons);
};

// "ソース設定": sizes to choose from, sizes[current] selected. None when cancelled.
std::optional<std::size_t> RunSourceSizeDialog(QWidget* owner, const std::vector<FrameSize>& sizes,
                                               std::size_t current);

// "入力設定": a slider per picture control, each move passed to setValue at once.
void RunPictureControlsDialog(QWidget* owner, const std::vector<PictureControl>& controls,
                              const std::function<void(std::size_t, int)>& setValue);
