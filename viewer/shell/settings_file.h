// The viewer's settings: what section "ravk" of the settings file (".\ravk.ini") decides, read once
// at start-up with the profile reader's rules (profile_file.h).
#pragma once

#include <cstdio>
#include <string>

#include "camera_output.h"
#include "cover_style.h"
#include "face_finder_kind.h"
#include "install_layout.h"
#include "skin_color.h"

inline constexpr const char* SETTINGS_SECTION = "ravk";

// What the settings file decides; a field the file does not set keeps the value it had.
struct ViewerSettings {
    std::string pluginFileName = DEFAULT_PLUGIN_FILE;
    SkinColorRange skinRange;
    CoverSettings cover;
    FaceFinderKind faceFinder = FaceFinderKind::Skin;
    VirtualCameraKind virtualCamera = VirtualCameraKind::Off;
};

// Reads "DLL" (a non-empty value replaces pluginFileName), the eight thresholds, "KeepCoveredMs"
// (read as a signed number: negative gives 0, more than KEEP_COVERED_MAX_MS gives that) and
// "CoverStyle", "FaceFinder" and "VirtualCamera" (a name CoverStyleFromName, FaceFinderFromName or
// VirtualCameraFromName knows; any other non-empty value gives the overlay, the skin analysis or
// no camera and one line naming the key and the value on diagnostics).
void ReadSettingsFile(const std::string& fileName, ViewerSettings& settings,
                      std::FILE* diagnostics = stdout);
