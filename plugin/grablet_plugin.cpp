// Grablet: the capture plug-in for a real camera. The exports keep one PluginState; the capture
// layer and the windows come from the platform's back end.
#include <cstdio>
#include <cstring>

#include "plugin_state.h"
#include "plugin_ui.h"
#include "vq_plugin.h"

namespace {

constexpr char DISPLAY_NAME[] = "Grablet";
constexpr char NO_DEVICE_LINE[] = "ビデオキャプチャデバイスは存在しません";

PluginState state;

const char* BindFailureMessage(BindResult result) {
    switch (result) {
        case BindResult::NoPipeline:
            return "フィルタグラフを取得できませんでした";
        case BindResult::NoGrabber:
            return "グラバフィルタを取得できませんでした";
        case BindResult::NoConnection:
            return "キャプチャグラフを取得できませんでした";
        case BindResult::Bound:
        case BindResult::DeviceGone:
            break;
    }
    return nullptr;
}

}  // namespace

extern "C" {

VQ_EXPORT int32_t VQ_CALL VQ_GetDllName(char* name) {
    if (name != nullptr) {
        std::memcpy(name, DISPLAY_NAME, sizeof DISPLAY_NAME);
    }
    return sizeof DISPLAY_NAME;
}

VQ_EXPORT VQ_BOOL VQ_CALL VQ_OnInit(void*) {
    ResetPluginState(state);
    state.capture = CreateCaptureBackend();
    const std::vector<std::string> names = state.capture->ListDevices();
    if (names.empty()) {
        std::printf("%s\n", NO_DEVICE_LINE);
        std::fflush(stdout);
        return 0;
    }
    std::size_t index = 0;
    if (names.size() >= 2) {
        const std::optional<std::size_t> chosen = ChooseDevice(names);
        if (!chosen) {
            return 0;
        }
        index = *chosen;
    }
    state.deviceName = names[index];
    const BindResult bound = state.capture->Bind(index);
    if (bound != BindResult::Bound) {
        if (const char* message = BindFailureMessage(bound)) {
            ShowPluginMessage(message);
        }
        return 0;
    }
    if (!StartCapture(state, FrameSize{})) {
        ShowPluginMessage(NO_VIDEO_HEADER_MESSAGE);
        return 0;
    }
    return 1;
}

VQ_EXPORT VQ_BOOL VQ_CALL VQ_SetResolution(int32_t width, int32_t height) {
    if (state.frameBuffer.empty() || width <= 0 || height <= 0) {
        return 0;
    }
    const FrameSize previous{state.frameWidth, state.frameHeight};
    state.capture->Stop();
    if (StartCapture(state, FrameSize{width, height})) {
        return 1;
    }
    // The device refused: back to the size in force.
    StartCapture(state, previous);
    return 0;
}

VQ_EXPORT VQ_BOOL VQ_CALL VQ_GetResolution(int32_t* width, int32_t* height) {
    *width = state.frameWidth;
    *height = state.frameHeight;
    return 1;
}

VQ_EXPORT int32_t VQ_CALL VQ_Capture(uint8_t* pixels) {
    if (state.frameBuffer.empty()) {
        return 0;
    }
    state.capture->TakeNewestFrame(FrameSize{state.frameWidth, state.frameHeight},
                                   state.frameBuffer.data());
    if (pixels != nullptr) {
        std::memcpy(pixels, state.frameBuffer.data(), state.frameBuffer.size());
    }
    return static_cast<int32_t>(state.frameBuffer.size());
}

VQ_EXPORT VQ_BOOL VQ_CALL VQ_DoModalOptionDlg(void) {
    if (state.capture) {
        ShowOptionDialog(state);
    }
    return 1;
}

VQ_EXPORT VQ_BOOL VQ_CALL VQ_OnDestroy(void) {
    ResetPluginState(state);
    return 1;
}

}  // extern "C"
