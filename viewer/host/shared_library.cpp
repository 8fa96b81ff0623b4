#include "shared_library.h"

#include <filesystem>
#include <system_error>

#include "install_layout.h"
#include "native_path.h"
#include "program_folder.h"
#include "shared_library_system.h"

namespace {

bool IsFile(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

}  // namespace

// dlopen alone would search only the system's path, and the Windows loader would try a name with
// a folder along its whole search path.
std::filesystem::path FindLibraryFile(const std::string& fileName,
                                      const std::filesystem::path& programFolder,
                                      const std::filesystem::path& pluginFolder) {
    const std::string native = NativePath(fileName);
    std::filesystem::path path(std::u8string(native.begin(), native.end()));
    path.make_preferred();
    if (!path.has_parent_path()) {
        if (!programFolder.empty() && IsFile(programFolder / path)) {
            return programFolder / path;
        }
        if (!IsFile(path)) {
            if (!pluginFolder.empty() && IsFile(pluginFolder / path)) {
                return pluginFolder / path;
            }
            return path;  // the system's own search
        }
    }
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute;
}

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
    const std::filesystem::path programFolder = ProgramFolder();
    std::filesystem::path file;
    try {
        file = FindLibraryFile(fileName, programFolder,
                               InstalledFolder(programFolder, INSTALL_LAYOUT.pluginFolder));
    } catch (const std::filesystem::filesystem_error&) {
        return false;  // Windows names files in UTF-16, and a name that is not UTF-8 has none
    }
    handle_ = OpenSharedLibrary(file);
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
