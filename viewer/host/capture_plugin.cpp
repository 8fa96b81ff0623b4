#include "capture_plugin.h"

#include <vector>

#include "vq_plugin.h"

namespace {

// The export's address as its function type, or null when missing or when nothing is loaded.
template <typename Function>
Function Export(const SharedLibrary& module, const char* name) {
    return reinterpret_cast<Function>(module.Symbol(name));
}

}  // namespace

CapturePlugin::~CapturePlugin() {
    if (const auto destroy = Export<VQ_OnDestroyFunc>(module, "VQ_OnDestroy")) {
        destroy();
    }
    module.Free();
    fileName.clear();
    displayName.clear();
}

bool CapturePlugin::Load(const std::string& libraryFile) {
    fileName = libraryFile;
    if (module.IsLoaded()) {
        return true;
    }
    if (!module.Load(fileName)) {
        return false;
    }
    return FetchDisplayName();
}

bool CapturePlugin::FetchDisplayName() {
    const auto getName = Export<VQ_GetDllNameFunc>(module, "VQ_GetDllName");
    if (getName == nullptr) {
        return false;
    }
    const std::int32_t needed = getName(nullptr);
    if (needed <= 0 || needed > MAX_PLUGIN_NAME_BYTES) {
        return false;
    }
    std::vector<char> buffer(static_cast<std::size_t>(needed) + 10, '\0');
    const std::int32_t result = getName(buffer.data());
    displayName = buffer.data();
    return result > 0;
}

bool CapturePlugin::Init(void* ownerWindow) {
    const auto init = Export<VQ_OnInitFunc>(module, "VQ_OnInit");
    return init != nullptr && init(ownerWindow) != 0;
}

bool CapturePlugin::SetResolution(std::int32_t width, std::int32_t height) {
    const auto setResolution = Export<VQ_SetResolutionFunc>(module, "VQ_SetResolution");
    return setResolution != nullptr && setResolution(width, height) != 0;
}

bool CapturePlugin::GetResolution(std::int32_t& width, std::int32_t& height) {
    const auto getResolution = Export<VQ_GetResolutionFunc>(module, "VQ_GetResolution");
    return getResolution != nullptr && getResolution(&width, &height) != 0;
}

bool CapturePlugin::GrabFrame(FrameImage& frame) {
    const auto capture = Export<VQ_CaptureFunc>(module, "VQ_Capture");
    if (capture == nullptr) {
        return false;
    }
    const std::int32_t count = capture(nullptr);
    if (count < 0) {
        return false;
    }
    std::int32_t width = 0;
    std::int32_t height = 0;
    if (!GetResolution(width, height)) {
        return false;
    }
    // Checked in 64 bits: a size whose 32-bit byte count wraps around must not pass.
    if (!IsAcceptableFrameSize(width, height) || std::int64_t{width} * height * 3 != count) {
        return false;
    }
    ResizeFrameImage(frame, width, height);
    return capture(FrameBytes(frame)) > 0;
}

bool CapturePlugin::ShowOptionDialog() {
    const auto showOptions = Export<VQ_DoModalOptionDlgFunc>(module, "VQ_DoModalOptionDlg");
    return showOptions != nullptr && showOptions() != 0;
}
