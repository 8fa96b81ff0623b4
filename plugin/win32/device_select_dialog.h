// CDeviceSelectDlg, "デバイスの選択": the device list, the first entry selected.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// Runs the dialog modally without an owner. The chosen position; none when the dialog was
// closed other than with OK or a double-click, or nothing was selected.
std::optional<std::size_t> RunDeviceSelectDialog(const std::vector<std::string>& names);
