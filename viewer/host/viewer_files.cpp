#include "viewer_files.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "face_model.h"
#include "native_path.h"
#include "program_folder.h"

namespace {

namespace fs = std::filesystem;

// Whether there is anything by that name, readable or not: what is there is used, so that a broken
// file is reported rather than passed over.
bool IsThere(const fs::path& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

fs::path Native(const std::string& name) {
    const std::string native = NativePath(name);
    return fs::path(std::u8string(native.begin(), native.end()));
}

// A folder named by the environment counts only when it is absolute.
std::optional<fs::path> AbsoluteFolder(const std::optional<std::string>& value) {
    if (!value || !fs::path(*value).is_absolute()) {
        return std::nullopt;
    }
    return fs::path(*value);
}

// "C:\..." or "\\server\...": %APPDATA% is a Windows folder, judged the Windows way on any system.
bool IsWindowsAbsolute(const std::string& folder) {
    const bool drive = folder.size() >= 3 && std::isalpha(static_cast<unsigned char>(folder[0])) &&
                       folder[1] == ':' && (folder[2] == '\\' || folder[2] == '/');
    return drive || folder.starts_with("\\\\");
}

}  // namespace

std::string FindDataFolder(const std::string& folder, const std::string& firstFile,
                           const fs::path& installedData) {
    if (IsThere(Native(folder + firstFile)) || installedData.empty()) {
        return folder;
    }
    const std::string installed = (installedData / Native(folder)).string();
    return IsThere(Native(installed + firstFile)) ? installed : folder;
}

std::string FindSettingsFile(const EnvironmentLookup& environment, const InstallLayout& layout) {
    if (IsThere(Native(SETTINGS_FILE))) {
        return SETTINGS_FILE;
    }
    if (layout.userSettings == UserSettingsFolder::AppData) {
        // Kept as the environment gives it, in the same text as the file functions take.
        const std::optional<std::string> appData = environment("APPDATA");
        return appData && IsWindowsAbsolute(*appData) ? *appData + "\\ravk\\ravk.ini"
                                                      : SETTINGS_FILE;
    }
    std::optional<fs::path> config = AbsoluteFolder(environment("XDG_CONFIG_HOME"));
    if (!config) {
        const std::optional<fs::path> home = AbsoluteFolder(environment("HOME"));
        if (!home) {
            return SETTINGS_FILE;
        }
        config = *home / ".config";
    }
    return (*config / "ravk" / "ravk.ini").string();
}

ViewerFiles FindViewerFiles(const fs::path& programFolder, const EnvironmentLookup& environment,
                            const InstallLayout& layout) {
    char firstPicture[32];
    std::snprintf(firstPicture, sizeof firstPicture, OVERLAY_FILE_FORMAT, 0);
    const fs::path installedData = InstalledFolder(programFolder, layout.dataFolder);
    // Both models are shipped together, so one of them tells where the set is.
    const std::string probeModel = std::string("\\") + FaceModelFileName(FaceModelKind::Back);
    return ViewerFiles{FindSettingsFile(environment, layout),
                       FindDataFolder(OVERLAY_FOLDER, firstPicture, installedData),
                       FindDataFolder(MODEL_FOLDER, probeModel, installedData)};
}

ViewerFiles FindViewerFiles() {
    const EnvironmentLookup environment = [](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
    };
    return FindViewerFiles(ProgramFolder(), environment, INSTALL_LAYOUT);
}
