// A shared library loaded by file name, with symbols looked up by name. One declaration for every
// platform; each platform has its own source file behind it.
#pragma once

#include <filesystem>
#include <string>

class SharedLibrary {
  public:
    SharedLibrary() = default;
    ~SharedLibrary() { Free(); }
    SharedLibrary(SharedLibrary&& other) noexcept : handle_(other.handle_) {
        other.handle_ = nullptr;
    }
    SharedLibrary& operator=(SharedLibrary&& other) noexcept;
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // Loads fileName, freeing any library held before. The name is written the Windows way
    // (backslashes are separators everywhere) and looked for as FindLibraryFile says, with this
    // program's folder and its installed plug-in folder. False when nothing could be loaded, also
    // for a name the system cannot spell.
    bool Load(const std::string& fileName);

    // The address of the exported symbol name, or null when it is missing or nothing is loaded.
    void* Symbol(const char* name) const;

    // Releases the library; the system unloads it when nothing else holds it.
    void Free();

    bool IsLoaded() const { return handle_ != nullptr; }

  private:
    void* handle_ = nullptr;
};

// Where a library named fileName is loaded from. A bare name is looked for the way the Windows
// loader looks, on every platform: in programFolder, then in the current folder; then in
// pluginFolder, where installed plug-ins lie apart from the program; then the system's own search
// takes the bare name. A name with a folder is taken from the current folder. Empty folders are
// not searched. On Windows a name that is not UTF-8 throws std::filesystem::filesystem_error.
std::filesystem::path FindLibraryFile(const std::string& fileName,
                                      const std::filesystem::path& programFolder,
                                      const std::filesystem::path& pluginFolder);
