// What "&intercepter" puts over each box: the animated overlay (the default), or the face itself
// made unrecognisable by pixelating or blurring it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "analyze_frame.h"
#include "display_surface.h"
#include "overlay_sprite.h"

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

// Working memory of the pixelate and blur covers, kept by the caller so that paints reuse it.
struct CoverScratch {
    std::vector<std::uint64_t> cellSums;
    std::vector<float> rows;
    std::vector<float> columns;
    std::vector<float> spare;
};

// The pixelate cover over box (columns left .. right - 1, rows top .. bottom - 1): square cells of
// side max(2, ceil((right - left) / 8)) counted from the box's top-left corner, each filled with
// the mean of its pixels per channel, rounded down. Only pixels inside both the box and the
// surface are read or changed.
void PixelateBox(const RegionBox& box, DisplaySurface& surface, CoverScratch& scratch);

// The blur cover over box: a box blur of radius max(1, (right - left) / 12) run three times
// horizontally, then three times vertically. A window that reaches past the box or the surface
// averages only the pixels inside both, so nothing from outside the box bleeds in.
void BlurBox(const RegionBox& box, DisplaySurface& surface, CoverScratch& scratch);

// The cover of one box in style: the whole overlay sprite stretched over it, or PixelateBox or
// BlurBox.
void DrawCover(const RegionBox& box, CoverStyle style, const OverlaySprite& sprite,
               DisplaySurface& surface, CoverScratch& scratch);
