// CDeviceSelectDlg, "デバイスの選択": the list of video sources in their order, the first
// selected; OK or a double-click takes the selected one.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// Runs the dialog modally without an owner. None when it was closed other than with OK or a
// double-click, or when nothing was selected.
std::optional<std::size_t> RunDeviceSelectDialog(const std::vector<std::string>& names);
