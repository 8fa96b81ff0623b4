#include <windows.h>

#include "shared_library_system.h"

void* OpenSharedLibrary(const std::filesystem::path& path) {
    return LoadLibraryW(path.c_str());
}

void* SharedLibrarySymbol(void* handle, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

void CloseSharedLibrary(void* handle) {
    FreeLibrary(static_cast<HMODULE>(handle));
}
