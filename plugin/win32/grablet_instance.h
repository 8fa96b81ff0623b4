// The Grablet module's own instance, which holds the dialog templates.
#pragma once

#include <windows.h>

inline HINSTANCE GrabletInstance() {
    HMODULE module = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&GrabletInstance), &module);
    return module;
}
