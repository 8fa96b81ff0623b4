#include "analyze_frame.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>

#include "region_runs.h"
#include "skin_mask_kernels.h"

namespace {

// 1/1.7 <= width/height <= 1.7 as whole numbers; a single pixel (0 x 0) passes, a line fails.
bool PassesAspectTest(const RegionStats& r) {
    return 10 * std::int64_t{r.width} <= 17 * std::int64_t{r.height} &&
           17 * std::int64_t{r.width} >= 10 * std::int64_t{r.height};
}

// The largest region passing the aspect test; on equal areas the lower-numbered one. -1 if none.
std::int32_t ChooseFaceRegion(const std::vector<RegionStats>& regions) {
    std::int32_t best = -1;
    std::int32_t bestArea = 0;  // every region has at least one pixel
    for (std::size_t i = 0; i < regions.size(); ++i) {
        if (regions[i].area > bestArea && PassesAspectTest(regions[i])) {
            best = static_cast<std::int32_t>(i);
            bestArea = regions[i].area;
        }
    }
    return best;
}

// Drops from kept, and clears in keep, the regions whose last pixel (in scan order) lies too far
// from the region's mean luma, and gives the others their means, in one pass over the runs.
void ApplyLumaTest(std::vector<std::int32_t>& kept, std::vector<std::uint8_t>& keep,
                   std::vector<RegionStats>& regions, const std::vector<RegionRun>& runs,
                   const FrameImage& frame) {
    static const SimdLevel level = DetectSimdLevel();
    thread_local std::vector<std::uint64_t> lumaSum;
    thread_local std::vector<std::uint8_t> lastLuma;
    lumaSum.assign(regions.size(), 0);
    lastLuma.assign(regions.size(), 0);
    for (const RegionRun& run : runs) {
        const std::size_t k = static_cast<std::size_t>(run.region) - 1;
        if (!keep[k]) {
            continue;
        }
        const Pixel24* row = frame.pixels.data() + static_cast<std::size_t>(run.y) * frame.width;
        lumaSum[k] +=
            SumPixelLuma(row + run.x0, static_cast<std::size_t>(run.x1 - run.x0) + 1, level);
        lastLuma[k] = PixelLuma(row[run.x1]);
        AddRunToMeans(regions[k], run);
    }
    std::erase_if(kept, [&](std::int32_t k) {
        const double inv = 1.0 / regions[k].area;
        const double mean = static_cast<double>(lumaSum[k]) * inv;
        const double deviation = (lastLuma[k] - mean) * (lastLuma[k] - mean);
        keep[k] = inv * deviation <= 1.5;
        FinishMeans(regions[k]);
        return !keep[k];
    });
}

RegionBox MakeSquareBox(const RegionStats& r, std::int32_t frameHeight, bool regionExpansion) {
    const std::int32_t side =
        regionExpansion ? std::max(r.width, r.height) : std::min(r.width, r.height);
    const double half = side * 0.5;
    const double cy = (frameHeight - r.meanY) - 1.0;  // centroid row counted from the top
    const double cx = r.meanX;
    return {static_cast<std::int32_t>(cx - half), static_cast<std::int32_t>(cy - half),
            static_cast<std::int32_t>(half + cx), static_cast<std::int32_t>(cy + half)};
}

// The mask's blue over count pixels, copied 16 at a time from a ready run of them: a fill of
// three-byte pixels goes a byte at a time.
void FillBlue(Pixel24* first, std::size_t count) {
    static constexpr std::array<Pixel24, 16> BLUE_RUN = [] {
        std::array<Pixel24, 16> run;
        run.fill(Pixel24{255, 0, 0});
        return run;
    }();
    for (; count >= BLUE_RUN.size(); count -= BLUE_RUN.size(), first += BLUE_RUN.size()) {
        std::memcpy(first, BLUE_RUN.data(), sizeof BLUE_RUN);
    }
    std::memcpy(first, BLUE_RUN.data(), count * sizeof(Pixel24));
}

void PaintRegionsBlue(FrameImage& display, const std::vector<RegionRun>& runs,
                      const std::vector<std::uint8_t>& keep) {
    for (const RegionRun& run : runs) {
        if (keep[run.region - 1]) {
            Pixel24* row = display.pixels.data() + static_cast<std::size_t>(run.y) * display.width;
            FillBlue(row + run.x0, static_cast<std::size_t>(run.x1 - run.x0) + 1);
        }
    }
}

}  // namespace

std::int32_t MinRegionSide(std::int32_t frameWidth) {
    return static_cast<std::int32_t>(8 * std::int64_t{frameWidth} / 100);
}

bool AnalyzeFrame(std::vector<RegionBox>& boxes, FrameImage& display, const FrameImage& frame,
                  const SkinColorRange& range, const AnalysisOptions& options,
                  FrameRegions* details, std::FILE* diagnostics) {
    const std::int32_t minRegionSide = MinRegionSide(frame.width);
    // A frame whose storage disagrees with its size is analysed as an empty one: it has no runs.
    // Rows are classified as the labelling reaches them, never kept as a whole mask.
    // The working lists are kept from frame to frame: a noisy frame has tens of thousands of
    // runs and regions, whose fresh memory would cost more than the analysis.
    static const SimdLevel level = DetectSimdLevel();
    thread_local std::vector<RegionRun> runs;
    thread_local std::vector<RegionStats> regions;
    thread_local std::vector<std::int32_t> kept;
    thread_local std::vector<std::uint8_t> keep;
    const std::int32_t regionCount = FindRegionRuns(frame, range, level, runs);
    AccumulateRegionStats(regions, runs, regionCount, false);

    const std::int32_t best = ChooseFaceRegion(regions);
    if (details != nullptr) {
        AccumulateRegionStats(details->regions, runs, regionCount);
        details->best = best;
    }
    if (best < 0) {
        if (diagnostics != nullptr) {
            std::fputs(" region not found.\n", diagnostics);
        }
        return false;
    }

    // The regions that pass the size test: every one with "&All", else only the chosen one.
    const auto largeEnough = [&](const RegionStats& r) {
        return r.width >= minRegionSide && r.height >= minRegionSide;
    };
    kept.clear();
    if (options.allRegions) {
        for (std::size_t k = 0; k < regions.size(); ++k) {
            if (largeEnough(regions[k])) {
                kept.push_back(static_cast<std::int32_t>(k));
            }
        }
    } else if (largeEnough(regions[best])) {
        kept.push_back(best);
    }
    if (kept.empty()) {
        return true;
    }
    keep.assign(regions.size(), 0);
    for (const std::int32_t k : kept) {
        keep[k] = 1;
    }
    ApplyLumaTest(kept, keep, regions, runs, frame);

    for (const std::int32_t k : kept) {
        boxes.push_back(MakeSquareBox(regions[k], frame.height, options.regionExpansion));
    }
    if (!kept.empty() && options.maskEnabled && display.width == frame.width &&
        display.height == frame.height && display.pixels.size() == frame.pixels.size()) {
        PaintRegionsBlue(display, runs, keep);
    }
    return true;
}
