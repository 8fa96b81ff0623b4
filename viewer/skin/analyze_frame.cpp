#include "analyze_frame.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>

#include "region_runs.h"
#include "skin_mask_kernels.h"

namespace {

// 1/1.7 <= width/height <= 1.7 as whole numbers; a single pixel (0 x 0) passes, a line fails.
bool PassesAspectTest(const RegionExtent& r) {
    const std::int64_t width = r.maxX - r.minX;
    const std::int64_t height = r.maxY - r.minY;
    return 10 * width <= 17 * height && 17 * width >= 10 * height;
}

// The largest region passing the aspect test; on equal areas the lower-numbered one. -1 if none.
std::int32_t ChooseFaceRegion(const std::vector<RegionExtent>& regions) {
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

// A region that passed the size test: its record, means included once its runs are summed, and
// what the luma test needs.
struct KeptRegion {
    RegionStats stats;
    std::uint64_t lumaSum = 0;
    std::uint8_t lastLuma = 0;  // of the region's last pixel in scan order
    bool passed = true;         // the luma test's outcome
};

// Sums the kept regions' runs (slotOf[k] is 1 + the index in kept of region k + 1's record, 0
// for the others), then fails the regions whose last pixel lies too far from their mean luma.
void ApplyLumaTest(std::vector<KeptRegion>& kept, const std::vector<std::int32_t>& slotOf,
                   const std::vector<RegionRun>& runs, const FrameImage& frame) {
    static const SimdLevel level = DetectSimdLevel();
    for (const RegionRun& run : runs) {
        const std::int32_t slot = slotOf[static_cast<std::size_t>(run.region) - 1];
        if (slot == 0) {
            continue;
        }
        KeptRegion& region = kept[static_cast<std::size_t>(slot) - 1];
        const Pixel24* row = frame.pixels.data() + static_cast<std::size_t>(run.y) * frame.width;
        region.lumaSum +=
            SumPixelLuma(row + run.x0, static_cast<std::size_t>(run.x1 - run.x0) + 1, level);
        region.lastLuma = PixelLuma(row[run.x1]);
        AddRunToMeans(region.stats, run);
    }
    for (KeptRegion& region : kept) {
        FinishMeans(region.stats);
        const double inv = 1.0 / region.stats.area;
        const double mean = static_cast<double>(region.lumaSum) * inv;
        const double deviation = (region.lastLuma - mean) * (region.lastLuma - mean);
        region.passed = inv * deviation <= 1.5;
    }
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
                      const std::vector<KeptRegion>& kept,
                      const std::vector<std::int32_t>& slotOf) {
    for (const RegionRun& run : runs) {
        const std::int32_t slot = slotOf[static_cast<std::size_t>(run.region) - 1];
        if (slot != 0 && kept[static_cast<std::size_t>(slot) - 1].passed) {
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
    thread_local std::vector<RegionExtent> regions;
    thread_local std::vector<KeptRegion> kept;
    thread_local std::vector<std::int32_t> slotOf;
    const std::int32_t regionCount = FindRegionRuns(frame, range, level, runs, regions);

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
    const auto largeEnough = [&](const RegionExtent& r) {
        return r.maxX - r.minX >= minRegionSide && r.maxY - r.minY >= minRegionSide;
    };
    kept.clear();
    slotOf.assign(regions.size(), 0);
    const std::size_t first = options.allRegions ? 0 : static_cast<std::size_t>(best);
    const std::size_t end = options.allRegions ? regions.size() : first + 1;
    for (std::size_t k = first; k < end; ++k) {
        if (largeEnough(regions[k])) {
            kept.push_back({StatsOfExtent(regions[k])});
            slotOf[k] = static_cast<std::int32_t>(kept.size());
        }
    }
    if (kept.empty()) {
        return true;
    }
    ApplyLumaTest(kept, slotOf, runs, frame);

    for (const KeptRegion& region : kept) {
        if (region.passed) {
            boxes.push_back(MakeSquareBox(region.stats, frame.height, options.regionExpansion));
        }
    }
    if (options.maskEnabled && display.width == frame.width && display.height == frame.height &&
        display.pixels.size() == frame.pixels.size()) {
        PaintRegionsBlue(display, runs, kept, slotOf);
    }
    return true;
}
