// Which settings file and overlay pictures the viewer reads. As in a prepared run folder, the
// current folder's come first: ".\ravk.ini" and "images\warai%04d.bmp". An installed viewer started
// anywhere else falls back to the user's settings file and to the pictures it was installed with.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "install_layout.h"
#include "overlay_sprite.h"

// The settings file, relative to the current folder.
inline constexpr const char* SETTINGS_FILE = ".\\ravk.ini";

// The face finder's models' folder, found as the overlay pictures' folder is.
inline constexpr const char* MODEL_FOLDER = "models";

// The files the controller reads, named the Windows way (backslashes are separators everywhere).
struct ViewerFiles {
    std::string settingsFile = SETTINGS_FILE;
    std::string overlayFolder = OVERLAY_FOLDER;
    std::string modelFolder = MODEL_FOLDER;
};

// The value of an environment variable, or nullopt when it is not set.
using EnvironmentLookup = std::function<std::optional<std::string>(const char* name)>;

// The data folder folder (relative to the current folder) when folder + firstFile is there,
// firstFile being the name its reader appends for the set's first file ("\\warai0000.bmp");
// otherwise the same folder under installedData when that has the file. A set is always taken whole
// from one place; when neither has it, folder, so that the failure names the current folder's file.
std::string FindDataFolder(const std::string& folder, const std::string& firstFile,
                           const std::filesystem::path& installedData);

// ".\ravk.ini" when it is there. Otherwise the user's settings file in the layout's folder:
// $XDG_CONFIG_HOME/ravk/ravk.ini, or ~/.config/ravk/ravk.ini when that variable is unset, empty or
// not an absolute path; or %APPDATA%\ravk\ravk.ini. Without an absolute folder, ".\ravk.ini". A
// missing file gives the defaults when it is read.
std::string FindSettingsFile(const EnvironmentLookup& environment, const InstallLayout& layout);

ViewerFiles FindViewerFiles(const std::filesystem::path& programFolder,
                            const EnvironmentLookup& environment, const InstallLayout& layout);

// This process's: its program's folder, its environment, the platform's layout.
ViewerFiles FindViewerFiles();
