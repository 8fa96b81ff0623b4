#include "shared_library.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

#include "native_path.h"

namespace {

// The folder of the running program, or an empty path when the system does not tell.
std::filesystem::path ProgramFolder() {
    std::error_code ec;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : program.parent_path();
}

bool IsFile(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

// The path dlopen gets. dlopen would search only the system's path for a bare name, while the
// Windows loader tries the program's folder and the current folder first; a plug-in next to the
// viewer must win over one of the same name elsewhere.
std::string ResolvePath(const std::string& fileName) {
    if (fileName.find('/') != std::string::npos) {
        return fileName;
    }
    const std::filesystem::path programFolder = ProgramFolder();
    if (!programFolder.empty() && IsFile(programFolder / fileName)) {
        return (programFolder / fileName).string();
    }
    if (IsFile(fileName)) {
        return "./" + fileName;
    }
    return fileName;
}

}  // namespace

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept {
    if (this != &other) {
        Free();
        handle_ = other.handle_;
        other.handle_ = nullptr;
    }
    return *this;
}

bool SharedLibrary::Load(const std::string& fileName) {
    Free();
    if (fileName.empty()) {
        return false;  // dlopen would hand back the program itself
    }
    handle_ = dlopen(ResolvePath(NativePath(fileName)).c_str(), RTLD_NOW | RTLD_LOCAL);
    return handle_ != nullptr;
}

void* SharedLibrary::Symbol(const char* name) const {
    return handle_ != nullptr ? dlsym(handle_, name) : nullptr;
}

void SharedLibrary::Free() {
    if (handle_ != nullptr) {
        dlclose(handle_);
        handle_ = nullptr;
    }
}
