#include <dlfcn.h>

#include <system_error>

#include "shared_library_system.h"

std::filesystem::path ProgramFolder() {
    std::error_code ec;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : program.parent_path();
}

void* OpenSharedLibrary(const std::filesystem::path& path) {
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* SharedLibrarySymbol(void* handle, const char* name) {
    return dlsym(handle, name);
}

void CloseSharedLibrary(void* handle) {
    dlclose(handle);
}
