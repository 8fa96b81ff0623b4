// Grablet's seven exports over the one controller of this module, made with the platform's capture
// back end and windows on first use.
#include <cstring>
#include <memory>

#include "grablet_controller.h"
#include "module_path.h"
#include "vq_plugin.h"

namespace {

GrabletController& Controller() {
    static const std::unique_ptr<CaptureBackend> backend = CreateCaptureBackend();
    static const std::unique_ptr<PluginUi> ui = CreatePluginUi();
    static GrabletController controller(*backend, *ui, ModulePath(), HostProgramPath());
    return controller;
}

}  // namespace

extern "C" {

VQ_EXPORT int32_t VQ_CALL VQ_GetDllName(char* name) {
    if (name != nullptr) {
        std::memcpy(name, GRABLET_DISPLAY_NAME, sizeof GRABLET_DISPLAY_NAME);
    }
    return sizeof GRABLET_DISPLAY_NAME;
}

VQ_EXPORT VQ_BOOL VQ_CALL VQ_OnInit(void*) {
    return Controller().OnInit() ? 1 : 0;
}

VQ_EXPORT VQ_BOOL VQ_CALL VQ_SetResolution(int32_t width, int32_t height) {
    return Controller().SetResolution(width, height) ? 1 : 0;
}

VQ_EXPORT VQ_BOOL VQ_CALL VQ_GetResolution(int32_t* width, int32_t* height) {
    const PixelSize size = Controller().Resolution();
    *width = size.width;
    *height = size.height;
    return 1;
}

VQ_EXPORT int32_t VQ_CALL VQ_Capture(uint8_t* pixels) {
    return Controller().Capture(pixels);
}

VQ_EXPORT VQ_BOOL VQ_CALL VQ_DoModalOptionDlg(void) {
    Controller().RunOptionDialog();
    return 1;
}

VQ_EXPORT VQ_BOOL VQ_CALL VQ_OnDestroy(void) {
    Controller().OnDestroy();
    return 1;
}

}  // extern "C"
