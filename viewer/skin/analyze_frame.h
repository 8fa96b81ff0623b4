// The per-frame analysis: choose the face region, filter by size and luma, build square boxes
// and paint the kept regions blue.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "frame_image.h"
#include "geometry.h"
#include "region_labels.h"
#include "skin_color.h"

// The four check boxes that steer the analysis, read at the start of every paint.
struct AnalysisOptions {
    bool maskEnabled = false;      // "&Mask": paint kept regions blue
    bool regionExpansion = false;  // "Region &Expansion": box side is the larger extent
    bool looseTracking = false;    // "&Loose Tracking": smooth the first box over recent frames
    bool allRegions = false;       // "&All": keep every region passing size and luma tests
};

// A square box in top-down picture coordinates (y counted from the top of the picture).
using RegionBox = PixelRect;

// The smallest width and height (extent minus one) a kept region may have: 8% of the frame width.
std::int32_t MinRegionSide(std::int32_t frameWidth);

// Luma of one pixel, integer weights summing to 998 (white gives 254).
inline std::uint8_t PixelLuma(Pixel24 p) {
    return static_cast<std::uint8_t>((114u * p.blue + 586u * p.green + 298u * p.red) / 1000u);
}

// What the analysis found before filtering, for tools that explain a result.
struct FrameRegions {
    std::vector<RegionStats> regions;  // every region, in label order
    std::int32_t best = -1;  // index of the chosen region, -1 when none passed the aspect test
};

// Analyses frame and appends one box per kept region to boxes (in region order). When
// options.maskEnabled is on, paints the kept regions' pixels blue into display, which must have
// frame's size. Returns false, writing " region not found.\n" to diagnostics, when no region passes
// the aspect test; true otherwise, even when the size or luma rule then dropped every region.
bool AnalyzeFrame(std::vector<RegionBox>& boxes, FrameImage& display, const FrameImage& frame,
                  const SkinColorRange& range, const AnalysisOptions& options,
                  FrameRegions* details = nullptr, std::FILE* diagnostics = stdout);
