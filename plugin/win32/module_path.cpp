#include "module_path.h"

#include <windows.h>

#include "wide_text.h"

namespace {

// The file of a loaded module; null is the program's own.
std::string ModuleFile(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = 0;
    while ((length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()))) ==
           path.size()) {
        path.resize(path.size() * 2);
    }
    path.resize(length);
    return Narrow(path);
}

}  // namespace

std::string ModulePath() {
    static const char anchor = 0;
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(&anchor), &module)) {
        return {};
    }
    return ModuleFile(module);
}

std::string HostProgramPath() {
    return ModuleFile(nullptr);
}
