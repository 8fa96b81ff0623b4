// Connected-region labelling of a skin mask (4-connectivity) and per-region statistics.
#pragma once

#include <cstdint>
#include <vector>

#include "skin_color.h"

// One 16-bit label per mask cell, same size and storage order as the mask. 0 = no region,
// 1..K = the regions. The one-pixel frame (first and last row and column) is always 0.
struct LabelImage {
    std::vector<std::uint16_t> labels;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// Coordinates are storage coordinates: x from the left, y the stored row (row 0 = bottom).
// width and height are extents minus one (0 for a region one pixel wide).
struct RegionStats {
    std::int32_t area = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t centerX = 0;
    std::int32_t centerY = 0;
    std::int32_t minX = 65535;
    std::int32_t minY = 65535;
    std::int32_t maxX = 0;
    std::int32_t maxY = 0;
    double meanX = 0.0;
    double meanY = 0.0;
    double reserved = 0.0;
};

// The most regions a frame can have: labels are 16 bits wide.
inline constexpr std::int32_t MAX_REGION_COUNT = 65535;

// Labels every 4-connected area of cells that are exactly 255, numbering the regions 1..K in the
// order a row-by-row scan (stored row 0 first, then leftmost) first meets them, and returns K.
// When the scan would start its 65536th provisional area it stops there: that cell and every cell
// after it stay 0.
std::int32_t LabelRegions(const SkinMask& mask, LabelImage& labels);

// Resizes records to exactly regionCount entries (record l - 1 belongs to label l) and fills them
// from the label plane. Labels above regionCount are ignored.
void ComputeRegionStats(std::vector<RegionStats>& records, const LabelImage& labels,
                        std::int32_t regionCount);
