// Where an installed viewer keeps what it ships, relative to the folder of its program. A viewer
// started from a prepared folder finds everything there; one started anywhere else falls back to
// these folders. The install rules (cmake/RavkLinuxInstall.cmake, cmake/RavkWindowsRelease.cmake)
// put the files where this says.
#pragma once

#include <filesystem>

// The folder the user's own settings file lies in, each the system's usual place for it.
enum class UserSettingsFolder {
    XdgConfig,  // $XDG_CONFIG_HOME/ravk, else ~/.config/ravk
    AppData,    // %APPDATA%\ravk
};

struct InstallLayout {
    // The shipped data: the overlay pictures' folder "images" lies in it.
    const char* dataFolder;
    // Plug-ins installed apart from the program, searched after the current folder; null when
    // they lie in the program's folder.
    const char* pluginFolder;
    // Where the user's settings file, read when ".\ravk.ini" is missing, is kept.
    UserSettingsFolder userSettings;
};

// This platform's layout (posix/, win32/ each define it).
extern const InstallLayout INSTALL_LAYOUT;

// The plug-in loaded when the settings name none: Grablet.dll on Windows, Grablet.so elsewhere.
extern const char* const DEFAULT_PLUGIN_FILE;

// The folder relative (one of the layout's) of a program in programFolder; empty when either is
// unknown. The program's folder has its links resolved, so ".." is taken literally.
inline std::filesystem::path InstalledFolder(const std::filesystem::path& programFolder,
                                             const char* relative) {
    if (programFolder.empty() || relative == nullptr) {
        return {};
    }
    return (programFolder / relative).lexically_normal();
}
