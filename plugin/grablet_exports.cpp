// Grablet's seven exports over the one controller of this module, made with the platform's capture
// back end and windows on first use.
#ifdef _WIN32
#include <windows.h>

#include "wide_text.h"
#else
#include <dlfcn.h>
#endif

#include <cstring>
#include <memory>
#include <string>

#include "grablet_controller.h"
#include "vq_plugin.h"

namespace {

// This module's own file, as the loader found it (UTF-8 on Windows too).
std::string ModulePath() {
    static const char anchor = 0;
#ifdef _WIN32
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(&anchor), &module)) {
        return {};
    }
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = 0;
    while ((length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()))) ==
           path.size()) {
        path.resize(path.size() * 2);
    }
    path.resize(length);
    return Narrow(path);
#else
    Dl_info info{};
    if (dladdr(&anchor, &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    return info.dli_fname;
#endif
}

GrabletController& Controller() {
    static const std::unique_ptr<CaptureBackend> backend = CreateCaptureBackend();
    static const std::unique_ptr<PluginUi> ui = CreatePluginUi();
    static GrabletController controller(*backend, *ui, ModulePath());
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
    const FrameSize size = Controller().Resolution();
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
