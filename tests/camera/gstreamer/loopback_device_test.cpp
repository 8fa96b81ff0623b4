#include <gtest/gtest.h>

#include <fstream>

#include "loopback_device.h"
#include "support/test_files.h"

namespace {

struct SysfsDevice {
    const char* entry;
    const char* label;
    bool loopback;  // with the attribute v4l2loopback adds
};

TEST(LoopbackDeviceTest, TheLoopbackDeviceIsFoundByItsDriverAndLabelNotByItsNumber) {
    const struct {
        std::vector<SysfsDevice> devices;
        std::optional<std::string> found;
    } cases[] = {
        {{}, std::nullopt},
        {{{"video0", "Integrated Camera", false}}, std::nullopt},
        {{{"video0", "Integrated Camera", false}, {"video4", "Dummy", true}}, "/dev/video4"},
        {{{"video10", "Dummy", true}, {"video9", "Dummy", true}}, "/dev/video9"},
        {{{"video3", "Other Camera", true}, {"video7", "Ravkeler Camera", true}}, "/dev/video7"},
    };
    for (const auto& c : cases) {
        TempDir sysfs;
        const auto folder = sysfs.Path() / "class" / "video4linux";
        std::filesystem::create_directories(folder);
        for (const SysfsDevice& device : c.devices) {
            std::filesystem::create_directory(folder / device.entry);
            std::ofstream(folder / device.entry / "name") << device.label << "\n";
            if (device.loopback) {
                std::ofstream(folder / device.entry / "max_openers") << "10\n";
            }
        }
        EXPECT_EQ(FindLoopbackDevice(sysfs.Path()), c.found) << c.devices.size() << " devices";
    }
}

}  // namespace
