#include "settings_file.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <optional>
#include <string_view>
#include <vector>

#include "profile_file.h"

namespace {

// The plug-in name is read into a 1024-byte buffer, which leaves room for 1023 characters.
constexpr std::size_t PLUGIN_FILE_MAX_CHARS = 1023;
// Enough for any choice's name and a diagnostic that shows what was written.
constexpr std::size_t CHOICE_NAME_MAX_CHARS = 63;

// A key naming one of a few choices: a name fromName knows sets choice, any other non-empty value
// sets fallback and writes one line naming the key and the value.
template <typename Choice>
void ReadChoice(const std::optional<std::string>& value, const char* key,
                std::optional<Choice> (*fromName)(std::string_view), const char* fallbackName,
                Choice fallback, Choice& choice, std::FILE* diagnostics) {
    const std::string name = ProfileString(value, "", CHOICE_NAME_MAX_CHARS);
    if (name.empty()) {
        return;
    }
    const std::optional<Choice> known = fromName(name);
    choice = known.value_or(fallback);
    if (!known && diagnostics != nullptr) {
        std::fprintf(diagnostics, "ravk.ini: unknown %s \"%s\", using %s\n", key, name.c_str(),
                     fallbackName);
        std::fflush(diagnostics);
    }
}

}  // namespace

void ReadSettingsFile(const std::string& fileName, ViewerSettings& settings,
                      std::FILE* diagnostics) {
    // "DLL" first, then the thresholds in the order the platform's reader is asked for them.
    const std::string_view keys[] = {
        "DLL",   "H1_max", "H1_min",        "H2_max",     "H2_min",     "S_max",        "S_min",
        "B_max", "B_min",  "KeepCoveredMs", "CoverStyle", "FaceFinder", "VirtualCamera"};
    SkinColorRange& range = settings.skinRange;
    std::uint32_t* const fields[] = {&range.H1_max, &range.H1_min, &range.H2_max, &range.H2_min,
                                     &range.S_max,  &range.S_min,  &range.B_max,  &range.B_min};
    const std::vector<std::optional<std::string>> values =
        FindProfileValues(fileName, SETTINGS_SECTION, keys);

    const std::string plugin = ProfileString(values[0], "", PLUGIN_FILE_MAX_CHARS);
    if (!plugin.empty()) {
        settings.pluginFileName = plugin;
    }
    for (std::size_t i = 0; i < std::size(fields); ++i) {
        *fields[i] = ProfileInt(values[i + 1], *fields[i]);
    }

    CoverSettings& cover = settings.cover;
    const auto keepMs = static_cast<std::int32_t>(ProfileInt(values[9], cover.keepCoveredMs));
    cover.keepCoveredMs =
        std::min(static_cast<std::uint32_t>(std::max(keepMs, 0)), KEEP_COVERED_MAX_MS);
    ReadChoice(values[10], "CoverStyle", CoverStyleFromName, "overlay", CoverStyle::Overlay,
               cover.style, diagnostics);
    ReadChoice(values[11], "FaceFinder", FaceFinderFromName, "skin", FaceFinderKind::Skin,
               settings.faceFinder, diagnostics);
    ReadChoice(values[12], "VirtualCamera", VirtualCameraFromName, "0", VirtualCameraKind::Off,
               settings.virtualCamera, diagnostics);
}
