// Testcard: a capture plug-in without a camera. It serves the synthetic scene, moving with the
// time since VQ_OnInit, so the viewer can run anywhere and its front ends can be tested.
#include <chrono>
#include <cstring>

#include "testcard_device.h"
#include "vq_plugin.h"

namespace {

constexpr char DISPLAY_NAME[] = "Testcard";

TestcardDevice device;
std::chrono::steady_clock::time_point startTime;

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 startTime)
        .count();
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
    startTime = std::chrono::steady_clock::now();
    StartTestcard(device);
    return 1;
}

VQ_EXPORT VQ_BOOL VQ_CALL VQ_SetResolution(int32_t width, int32_t height) {
    return ResizeTestcard(device, width, height, NowMs()) ? 1 : 0;
}

VQ_EXPORT VQ_BOOL VQ_CALL VQ_GetResolution(int32_t* width, int32_t* height) {
    *width = device.width;
    *height = device.height;
    return 1;
}

VQ_EXPORT int32_t VQ_CALL VQ_Capture(uint8_t* pixels) {
    return CaptureTestcard(device, pixels, NowMs());
}

// There are no options to show.
VQ_EXPORT VQ_BOOL VQ_CALL VQ_DoModalOptionDlg(void) {
    return 1;
}

VQ_EXPORT VQ_BOOL VQ_CALL VQ_OnDestroy(void) {
    StopTestcard(device);
    return 1;
}

}  // extern "C"
