// Regions as horizontal runs of skin cells: the working form behind labelling, statistics, the
// luma test and mask painting, so each of them touches only skin cells instead of whole planes.
#pragma once

#include <cstdint>
#include <vector>

#include "region_labels.h"
#include "skin_color.h"

// Cells x0..x1 (inclusive) of stored row y, all in region `region` (1..K).
struct RegionRun {
    std::int32_t y = 0;
    std::int32_t x0 = 0;
    std::int32_t x1 = 0;
    std::int32_t region = 0;
};

// Finds the runs of cells that are exactly 255 inside the one-pixel frame of the mask, in scan
// order (stored row 0 first, then leftmost), joins 4-connected runs into regions numbered 1..K in
// the order the scan first meets them, and returns K. Applies the labeller's cut-off: the scan
// stops at the cell that would start the 65536th provisional area.
std::int32_t FindRegionRuns(const SkinMask& mask, std::vector<RegionRun>& runs);

// A region's area and the rows and columns it spans: what the analysis needs of every region, a
// third of a RegionStats. A fresh one has the fresh record's extent.
struct RegionExtent {
    std::int32_t area = 0;
    std::int32_t minX = 65535;
    std::int32_t maxX = 0;
    std::int32_t minY = 65535;
    std::int32_t maxY = 0;
};

// The same as FindRegionRuns(BuildSkinMask(frame, range, level), runs) without the whole mask:
// each row is classified, with the kernel of level, when the scan reaches it, and the first and
// last rows not at all. Also gives each region's extent (extents[K - 1] for region K). A frame
// whose storage disagrees with its size has no runs.
std::int32_t FindRegionRuns(const FrameImage& frame, const SkinColorRange& range, SimdLevel level,
                            std::vector<RegionRun>& runs, std::vector<RegionExtent>& extents);

// Resizes records to regionCount fresh records and accumulates every run whose region is in
// 1..regionCount.
void AccumulateRegionStats(std::vector<RegionStats>& records, const std::vector<RegionRun>& runs,
                           std::int32_t regionCount);

// A record with the extent's area, extent, size and centre, and means 0.
RegionStats StatsOfExtent(const RegionExtent& extent);

// Adds a run's coordinate sums to meanX and meanY, which hold sums until FinishMeans divides
// them by the area.
void AddRunToMeans(RegionStats& record, const RegionRun& run);
void FinishMeans(RegionStats& record);
