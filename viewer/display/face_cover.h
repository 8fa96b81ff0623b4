// What "&intercepter" puts over each box: the animated overlay (the default), or the face itself
// made unrecognisable by pixelating or blurring it.
#pragma once

#include <cstdint>
#include <vector>

#include "analyze_frame.h"
#include "cover_style.h"
#include "display_surface.h"
#include "overlay_sprite.h"
#include "simd_level.h"

// Working memory of the pixelate and blur covers, kept by the caller so that paints reuse it.
struct CoverScratch {
    std::vector<std::uint64_t> cellSums;
    std::vector<float> rows;
    std::vector<float> columns;
    std::vector<float> rings;
    std::vector<float> scales;
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
// The same with the kernel of a level (the scalar one where the processor lacks it); every level
// gives the same bytes.
void BlurBox(const RegionBox& box, DisplaySurface& surface, CoverScratch& scratch, SimdLevel level);

// The cover of one box in style: the whole overlay sprite stretched over it, or PixelateBox or
// BlurBox.
void DrawCover(const RegionBox& box, CoverStyle style, const OverlaySprite& sprite,
               DisplaySurface& surface, CoverScratch& scratch);
