#include <dlfcn.h>

#include "shared_library_system.h"

void* OpenSharedLibrary(const std::filesystem::path& path) {
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* SharedLibrarySymbol(void* handle, const char* name) {
    return dlsym(handle, name);
}

void CloseSharedLibrary(void* handle) {
    dlclose(handle);
}
