// The windows the option dialog's two buttons open on Qt, where a device brings no settings
// windows of its own.
#pragma once

#include <QWidget>
#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

#include "capture_backend.h"

// "ソース設定": sizes to choose from, sizes[current] selected. None when cancelled.
std::optional<std::size_t> RunSourceSizeDialog(QWidget* owner, const std::vector<PixelSize>& sizes,
                                               std::size_t current);

// "入力設定": a slider per picture control, each move passed to setValue at once.
void RunPictureControlsDialog(QWidget* owner, const std::vector<PictureControl>& controls,
                              const std::function<void(std::size_t, int)>& setValue);
