#include "loopback_device.h"

#include <cstdlib>
#include <fstream>
#include <tuple>

#include "camera_output.h"

std::optional<std::string> FindLoopbackDevice(const std::filesystem::path& sysfsRoot) {
    std::optional<std::string> found;
    std::tuple<bool, int> foundRank;  // not labelled, then the number: the least wins
    std::error_code error;
    for (const auto& device :
         std::filesystem::directory_iterator(sysfsRoot / "class" / "video4linux", error)) {
        // v4l2loopback registers its devices without a parent, so sysfs has no driver link for
        // them; the attribute it adds to each names the driver instead.
        const std::string entry = device.path().filename().string();
        if (!entry.starts_with("video") ||
            !std::filesystem::exists(device.path() / "max_openers", error)) {
            continue;
        }
        std::string label;
        std::getline(std::ifstream(device.path() / "name"), label);
        const std::tuple<bool, int> rank{label != CAMERA_NAME, std::atoi(entry.c_str() + 5)};
        if (!found || rank < foundRank) {
            found = "/dev/" + entry;
            foundRank = rank;
        }
    }
    return found;
}
