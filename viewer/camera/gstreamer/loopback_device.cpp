#include "loopback_device.h"

#include <charconv>
#include <fstream>
#include <system_error>

#include "camera_output.h"

namespace {

// v4l2loopback registers its devices without a parent, so sysfs holds no driver link for them;
// the attribute it adds to each of its devices names the driver instead.
constexpr const char* LOOPBACK_ATTRIBUTE = "max_openers";

std::optional<int> DeviceNumber(const std::string& entry) {
    constexpr std::string_view PREFIX = "video";
    if (!entry.starts_with(PREFIX)) {
        return std::nullopt;
    }
    int number = 0;
    const char* digits = entry.data() + PREFIX.size();
    const char* end = entry.data() + entry.size();
    const auto [stop, failure] = std::from_chars(digits, end, number);
    if (failure != std::errc() || stop != end || digits == end) {
        return std::nullopt;
    }
    return number;
}

std::string FirstLine(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

}  // namespace

std::optional<std::string> FindLoopbackDevice(const std::filesystem::path& sysfsRoot) {
    std::optional<std::string> found;
    int foundNumber = 0;
    bool foundLabelled = false;
    std::error_code error;
    for (const auto& device :
         std::filesystem::directory_iterator(sysfsRoot / "class" / "video4linux", error)) {
        const std::string entry = device.path().filename().string();
        const std::optional<int> number = DeviceNumber(entry);
        if (!number || !std::filesystem::exists(device.path() / LOOPBACK_ATTRIBUTE, error)) {
            continue;
        }
        const bool labelled = FirstLine(device.path() / "name") == CAMERA_NAME;
        if (!found || labelled > foundLabelled ||
            (labelled == foundLabelled && *number < foundNumber)) {
            found = "/dev/" + entry;
            foundNumber = *number;
            foundLabelled = labelled;
        }
    }
    return found;
}
