#include "shared_library.h"

#include <filesystem>
#include <system_error>

#include "native_path.h"
#include "shared_library_system.h"

namespace {

bool IsFile(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

// The path the system's loader gets. A bare name is looked for as the Windows loader looks, on
// every platform (dlopen would search only the system's path): a plug-in beside the program wins
// over one of the same name in the current folder. A name with a folder is taken from the current
// folder; the Windows loader would otherwise try it along its whole search path.
std::filesystem::path ResolvePath(const std::string& fileName) {
    const std::string native = NativePath(fileName);
    std::filesystem::path path(std::u8string(native.begin(), native.end()));
    path.make_preferred();
    if (!path.has_parent_path()) {
        const std::filesystem::path programFolder = ProgramFolder();
        if (!programFolder.empty() && IsFile(programFolder / path)) {
            return programFolder / path;
        }
        if (!IsFile(path)) {
            return path;
        }
    }
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute;
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
    handle_ = OpenSharedLibrary(ResolvePath(fileName));
    return handle_ != nullptr;
}

void* SharedLibrary::Symbol(const char* name) const {
    return handle_ != nullptr ? SharedLibrarySymbol(handle_, name) : nullptr;
}

void SharedLibrary::Free() {
    if (handle_ != nullptr) {
        CloseSharedLibrary(handle_);
        handle_ = nullptr;
    }
}
