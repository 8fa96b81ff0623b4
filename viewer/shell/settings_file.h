// The settings file ".\ravk.ini", read once at start-up with the rules of the Windows profile
// reader, the same on every platform. The file is untrusted input.
//
// A line whose first non-blank character is '[' opens the section named up to ']'; "key = value"
// lines belong to the section above them, and a line there without '=' is a key with an empty
// value; a line whose first non-blank character is ';' is a comment. Names and values are trimmed
// of blanks (spaces and tabs). A UTF-8 byte-order mark at the start is skipped, lines end with
// "\n", "\r\n" or a lone "\r", a NUL ends a line's text, and only the first 64 KiB of a line
// count. File names are written the Windows way and go through NativePath; anything but a
// readable regular file reads as a missing file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "face_boxes.h"
#include "face_cover.h"
#include "skin_color.h"

inline constexpr const char* SETTINGS_FILE = ".\\ravk.ini";
inline constexpr const char* SETTINGS_SECTION = "ravk";

// The plug-in loaded when the settings name none.
#ifdef _WIN32
inline constexpr const char* DEFAULT_PLUGIN_FILE = "Grablet.dll";
#else
inline constexpr const char* DEFAULT_PLUGIN_FILE = "Grablet.so";
#endif

// The value of key in the first section named section (names compared without regard to case;
// the first matching key wins), trimmed of blanks and one pair of surrounding quotes, at most
// maxChars characters. A missing file, section or key gives defaultValue.
std::string ReadProfileString(const std::string& fileName, const std::string& section,
                              const std::string& key, const std::string& defaultValue,
                              std::size_t maxChars);

// The value of key read as an integer the way the platform does: optional sign, decimal or
// 0x-hexadecimal, the leading digits, wrapping to unsigned 32-bit ("-1" gives 4294967295); a value
// that is not a number gives 0. A missing file, section or key, or an empty value, gives
// defaultValue.
std::uint32_t ReadProfileInt(const std::string& fileName, const std::string& section,
                             const std::string& key, std::uint32_t defaultValue);

// What the settings file decides; a field the file does not set keeps the value it had.
struct ViewerSettings {
    std::string pluginFileName = DEFAULT_PLUGIN_FILE;
    SkinColorRange skinRange;
    CoverSettings cover;
    FaceFinderKind faceFinder = FaceFinderKind::Skin;
};

// Reads "DLL" (a non-empty value replaces pluginFileName), the eight thresholds, "KeepCoveredMs"
// (read as a signed number: negative gives 0, more than KEEP_COVERED_MAX_MS gives that) and
// "CoverStyle" and "FaceFinder" (a name CoverStyleFromName or FaceFinderFromName knows; any other
// non-empty value gives the overlay or the skin analysis and one line naming the key and the value
// on diagnostics).
void ReadSettingsFile(const std::string& fileName, ViewerSettings& settings,
                      std::FILE* diagnostics = stdout);
