// What "&intercepter" puts over each box, as the settings name it, and how long a lost face stays
// covered.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// The animated overlay (the default), or the face itself made unrecognisable.
enum class CoverStyle { Overlay, Pixelate, Blur };

// The longest a lost face stays covered, however long the settings ask for.
inline constexpr std::uint32_t KEEP_COVERED_MAX_MS = 10000;

// The settings that shape the cover; the defaults give the overlay and no hold.
struct CoverSettings {
    CoverStyle style = CoverStyle::Overlay;
    std::uint32_t keepCoveredMs = 0;  // 0 .. KEEP_COVERED_MAX_MS
};

// "overlay", "pixelate" or "blur", in any letter case; nullopt for anything else.
std::optional<CoverStyle> CoverStyleFromName(std::string_view name);
