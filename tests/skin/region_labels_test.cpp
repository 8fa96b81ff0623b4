#include "region_labels.h"

#include <gtest/gtest.h>

#include <queue>
#include <random>

#include "mask_builders.h"

namespace {

std::uint16_t LabelAt(const LabelImage& labels, std::int32_t x, std::int32_t y) {
    return labels.labels[static_cast<std::size_t>(y) * labels.width + x];
}

// Flood-fill labelling of the inner area, numbered in scan order: what "4-connected regions" means.
std::vector<std::uint16_t> ReferenceLabels(const SkinMask& mask) {
    const std::int32_t w = mask.width, h = mask.height;
    std::vector<std::uint16_t> out(mask.cells.size(), 0);
    auto inner = [&](std::int32_t x, std::int32_t y) {
        return x >= 1 && y >= 1 && x < w - 1 && y < h - 1 &&
               mask.cells[static_cast<std::size_t>(y) * w + x] == 255;
    };
    std::uint16_t next = 0;
    for (std::int32_t y = 0; y < h; ++y) {
        for (std::int32_t x = 0; x < w; ++x) {
            if (!inner(x, y) || out[static_cast<std::size_t>(y) * w + x] != 0) {
                continue;
            }
            ++next;
            std::queue<std::pair<std::int32_t, std::int32_t>> todo;
            todo.push({x, y});
            out[static_cast<std::size_t>(y) * w + x] = next;
            while (!todo.empty()) {
                auto [cx, cy] = todo.front();
                todo.pop();
                const std::pair<std::int32_t, std::int32_t> steps[] = {
                    {cx + 1, cy}, {cx - 1, cy}, {cx, cy + 1}, {cx, cy - 1}};
                for (auto [nx, ny] : steps) {
                    if (inner(nx, ny) && out[static_cast<std::size_t>(ny) * w + nx] == 0) {
                        out[static_cast<std::size_t>(ny) * w + nx] = next;
                        todo.push({nx, ny});
                    }
                }
            }
        }
    }
    return out;
}

TEST(LabelRegions, JoinsAreasThatASingleLinkTableWouldSplit) {
    // Seven 4-connected cells whose provisional labels link twice: one region of area 7.
    const SkinMask mask = MaskFromRows({
        "......",
        "....#.",
        ".#.##.",
        ".###..",
        "......",
    });
    LabelImage labels;
    ASSERT_EQ(LabelRegions(mask, labels), 1);
    std::vector<RegionStats> stats;
    ComputeRegionStats(stats, labels, 1);
    ASSERT_EQ(stats.size(), 1u);
    EXPECT_EQ(stats[0].area, 7);
    EXPECT_EQ(stats[0].width, 3);
    EXPECT_EQ(stats[0].height, 2);
}

TEST(LabelRegions, MergesUShapesSpiralsButNotDiagonalTouches) {
    const SkinMask uShape = MaskFromRows({
        ".......",
        ".#...#.",
        ".#...#.",
        ".#####.",
        ".......",
    });
    const SkinMask spiral = MaskFromRows({
        ".........",
        ".#######.",
        ".#.....#.",
        ".#.###.#.",
        ".#.#.#.#.",
        ".#.#...#.",
        ".#.#####.",
        ".........",
    });
    const SkinMask diagonal = MaskFromRows({
        ".....",
        ".#...",
        "..#..",
        "...#.",
        ".....",
    });
    LabelImage labels;
    EXPECT_EQ(LabelRegions(uShape, labels), 1);
    EXPECT_EQ(LabelRegions(spiral, labels), 1);
    EXPECT_EQ(LabelRegions(diagonal, labels), 3);
}

TEST(LabelRegions, NeverLabelsTheOnePixelFrameAndCountsOnlyExact255) {
    SkinMask mask = MaskFromRows({
        "#####",
        "#...#",
        "#.#.#",
        "#...#",
        "#####",
    });
    mask.cells[1 * 5 + 1] = 254;  // nonzero but not skin
    mask.cells[3 * 5 + 3] = 1;
    LabelImage labels;
    ASSERT_EQ(LabelRegions(mask, labels), 1);
    for (std::int32_t y = 0; y < 5; ++y) {
        for (std::int32_t x = 0; x < 5; ++x) {
            EXPECT_EQ(LabelAt(labels, x, y), (x == 2 && y == 2) ? 1 : 0) << x << "," << y;
        }
    }

    // Planes of width or height 2 or less have no inner cells at all.
    for (auto rows : {std::vector<std::string>{"##", "##"}, std::vector<std::string>{"#####"},
                      std::vector<std::string>{}}) {
        const SkinMask thin = MaskFromRows(rows);
        EXPECT_EQ(LabelRegions(thin, labels), 0);
        EXPECT_EQ(labels.labels.size(), thin.cells.size());
    }
}

TEST(LabelRegions, NumbersRegionsInTheOrderTheScanMeetsThem) {
    // Stored row 1 is met first: its right-hand region is 1 even though the left one is larger.
    const SkinMask mask = MaskFromRows({
        "........",
        "......#.",
        ".##...#.",
        ".##.#...",
        "........",
    });
    LabelImage labels;
    ASSERT_EQ(LabelRegions(mask, labels), 3);
    EXPECT_EQ(LabelAt(labels, 6, 1), 1);
    EXPECT_EQ(LabelAt(labels, 1, 2), 2);
    EXPECT_EQ(LabelAt(labels, 4, 3), 3);
}

TEST(LabelRegions, AgreesWithFloodFillOnRandomMasks) {
    std::mt19937 random(7);
    for (std::int32_t width : {1, 3, 4, 9, 17, 64, 66, 200}) {
        for (std::int32_t height : {1, 3, 5, 31}) {
            for (double density : {0.2, 0.5, 0.8}) {
                const SkinMask mask = RandomMask(width, height, density, random);
                LabelImage labels;
                const std::int32_t count = LabelRegions(mask, labels);
                const std::vector<std::uint16_t> expected = ReferenceLabels(mask);
                ASSERT_EQ(labels.labels, expected) << width << "x" << height << " " << density;
                std::uint16_t highest = 0;
                for (std::uint16_t l : expected) {
                    highest = std::max(highest, l);
                }
                EXPECT_EQ(count, highest);
            }
        }
    }
}

// Every other cell of every other row is an isolated region: 299 x 249 = 74451 candidates.
TEST(LabelRegions, StopsWhereTheScanWouldStartIts65536thProvisionalArea) {
    SkinMask mask;
    mask.width = 600;
    mask.height = 500;
    mask.cells.assign(600 * 500, 0);
    for (std::int32_t y = 1; y < 499; y += 2) {
        for (std::int32_t x = 1; x < 599; x += 2) {
            mask.cells[static_cast<std::size_t>(y) * 600 + x] = 255;
        }
    }
    LabelImage labels;
    ASSERT_EQ(LabelRegions(mask, labels), 65535);
    // Cell 65535 (0-based) of the scan is row index 219, column index 54: (109, 439).
    EXPECT_EQ(LabelAt(labels, 107, 439), 65535);
    EXPECT_EQ(LabelAt(labels, 109, 439), 0);
    EXPECT_EQ(LabelAt(labels, 597, 497), 0);
}

TEST(LabelRegions, CutOffCountsProvisionalAreasNotFinalRegions) {
    // Periods of three rows: isolated cells (299 new provisional areas), a full row joining them,
    // an empty row. The 65536th provisional area falls in period 219 at its 55th cell, before that
    // period's joining row, so periods 0..218 are one region each and the 54 cells before the
    // cut-off stay separate: 219 + 54 regions.
    SkinMask mask;
    mask.width = 600;
    mask.height = 3 * 221 + 2;
    mask.cells.assign(static_cast<std::size_t>(mask.width) * mask.height, 0);
    for (std::int32_t p = 0; p < 221; ++p) {
        for (std::int32_t x = 1; x < 599; ++x) {
            if (x % 2 == 1) {
                mask.cells[static_cast<std::size_t>(3 * p + 1) * 600 + x] = 255;
            }
            mask.cells[static_cast<std::size_t>(3 * p + 2) * 600 + x] = 255;
        }
    }
    LabelImage labels;
    EXPECT_EQ(LabelRegions(mask, labels), 219 + 54);
    EXPECT_EQ(LabelAt(labels, 109, 3 * 219 + 1), 0);
    EXPECT_EQ(LabelAt(labels, 1, 3 * 219 + 2), 0);
}

TEST(ComputeRegionStats, DescribesPixelsRunsAndBlocks) {
    const SkinMask mask = MaskFromRows({
        "...........",
        ".#.........",
        "...#####...",
        "...........",
        ".###.......",
        ".###.......",
        ".###.......",
        "...........",
    });
    LabelImage labels;
    ASSERT_EQ(LabelRegions(mask, labels), 3);
    std::vector<RegionStats> stats;
    ComputeRegionStats(stats, labels, 3);
    ASSERT_EQ(stats.size(), 3u);

    const RegionStats& pixel = stats[0];
    EXPECT_EQ(pixel.area, 1);
    EXPECT_EQ(pixel.width, 0);
    EXPECT_EQ(pixel.height, 0);
    EXPECT_DOUBLE_EQ(pixel.meanX, 1.0);
    EXPECT_DOUBLE_EQ(pixel.meanY, 1.0);

    const RegionStats& run = stats[1];
    EXPECT_EQ(run.area, 5);
    EXPECT_EQ(run.width, 4);
    EXPECT_EQ(run.height, 0);
    EXPECT_EQ(run.centerX, 5);
    EXPECT_DOUBLE_EQ(run.meanX, 5.0);

    const RegionStats& block = stats[2];
    EXPECT_EQ(block.area, 9);
    EXPECT_EQ(block.width, 2);
    EXPECT_EQ(block.height, 2);
    EXPECT_EQ(block.centerX, block.minX + 1);
    EXPECT_EQ(block.centerY, 5);
    EXPECT_EQ(block.minX, 1);
    EXPECT_EQ(block.maxX, 3);
    EXPECT_EQ(block.minY, 4);
    EXPECT_EQ(block.maxY, 6);
    EXPECT_DOUBLE_EQ(block.meanY, 5.0);
    EXPECT_EQ(block.reserved, 0.0);
}

TEST(ComputeRegionStats, GivesFreshRecordsForMissingLabelsAndIgnoresLabelsBeyondTheCount) {
    LabelImage labels;
    labels.width = 4;
    labels.height = 1;
    labels.labels = {0, 1, 7, 1};
    std::vector<RegionStats> stats(9);
    ComputeRegionStats(stats, labels, 2);
    ASSERT_EQ(stats.size(), 2u);
    EXPECT_EQ(stats[0].area, 2);
    EXPECT_DOUBLE_EQ(stats[0].meanX, 2.0);
    EXPECT_EQ(stats[1].area, 0);
    EXPECT_EQ(stats[1].minX, 65535);
    EXPECT_EQ(stats[1].width, -65535);
    EXPECT_EQ(stats[1].meanX, 0.0);
}

}  // namespace
