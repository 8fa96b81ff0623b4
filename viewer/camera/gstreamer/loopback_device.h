// Which video device a VirtualCamera=v4l2loopback viewer writes to. The viewer never loads the
// module; it takes a device the module made, found through sysfs rather than guessed from a number.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

// The device file ("/dev/video7") of the v4l2loopback device under sysfsRoot (normally "/sys"):
// the one labelled CAMERA_NAME, else the lowest-numbered. Nullopt when there is none.
std::optional<std::string> FindLoopbackDevice(const std::filesystem::path& sysfsRoot);
