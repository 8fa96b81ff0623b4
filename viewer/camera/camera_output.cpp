#include "camera_output.h"

std::optional<VirtualCameraKind> VirtualCameraFromName(std::string_view name) {
    if (name == "0") {
        return VirtualCameraKind::Off;
    }
    if (name == "1") {
        return VirtualCameraKind::On;
    }
    if (name == "v4l2loopback") {
        return VirtualCameraKind::V4l2Loopback;
    }
    return std::nullopt;
}
