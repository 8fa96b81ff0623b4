#include <windows.h>

#include <string>

#include "shared_library_system.h"

std::filesystem::path ProgramFolder() {
    std::wstring program(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size()));
        if (length == 0) {
            return {};
        }
        if (length < program.size()) {
            program.resize(length);
            return std::filesystem::path(program).parent_path();
        }
        program.resize(program.size() * 2);  // cut short: the name is longer than the buffer
    }
}

void* OpenSharedLibrary(const std::filesystem::path& path) {
    return LoadLibraryW(path.c_str());
}

void* SharedLibrarySymbol(void* handle, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

void CloseSharedLibrary(void* handle) {
    FreeLibrary(static_cast<HMODULE>(handle));
}
