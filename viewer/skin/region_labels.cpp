#include "region_labels.h"

#include <algorithm>
#include <cstddef>

#include "region_runs.h"

std::int32_t LabelRegions(const SkinMask& mask, LabelImage& labels) {
    labels.width = std::max(mask.width, 0);
    labels.height = std::max(mask.height, 0);
    const std::size_t rowLength = static_cast<std::size_t>(labels.width);
    labels.labels.assign(rowLength * static_cast<std::size_t>(labels.height), 0);

    std::vector<RegionRun> runs;
    const std::int32_t regionCount = FindRegionRuns(mask, runs);
    for (const RegionRun& run : runs) {
        std::uint16_t* row = labels.labels.data() + static_cast<std::size_t>(run.y) * rowLength;
        std::fill(row + run.x0, row + run.x1 + 1, static_cast<std::uint16_t>(run.region));
    }
    return regionCount;
}

void ComputeRegionStats(std::vector<RegionStats>& records, const LabelImage& labels,
                        std::int32_t regionCount) {
    // Cut the plane into runs of equal labels and accumulate those, so the plane and the runs give
    // the same statistics.
    std::vector<RegionRun> runs;
    const std::size_t rowLength = static_cast<std::size_t>(std::max(labels.width, 0));
    const std::int32_t height = std::max(labels.height, 0);
    if (labels.labels.size() >= rowLength * static_cast<std::size_t>(height)) {
        for (std::int32_t y = 0; y < height; ++y) {
            const std::uint16_t* row =
                labels.labels.data() + static_cast<std::size_t>(y) * rowLength;
            for (std::int32_t x = 0; x < labels.width;) {
                const std::uint16_t label = row[x];
                const std::int32_t start = x;
                while (x < labels.width && row[x] == label) {
                    ++x;
                }
                if (label != 0) {
                    runs.push_back({y, start, x - 1, label});
                }
            }
        }
    }
    AccumulateRegionStats(records, runs, regionCount);
}
