#include "analyze_frame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <utility>
#include <cstdio>
#include <random>
#include <string>

#include "mask_builders.h"

namespace {

// The first colour (red is the largest channel) that the defaults call skin and has this luma.
Pixel24 SkinWithLuma(int luma) {
    const SkinColorRange defaults;
    for (int r = 0; r < 256; ++r) {
        for (int g = 0; g <= r; ++g) {
            for (int b = 0; b <= g; ++b) {
                const Pixel24 p{static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(g),
                                static_cast<std::uint8_t>(r)};
                if (PixelLuma(p) == luma &&
                    IsSkinColor(RgbToHsb(p.red, p.green, p.blue), defaults)) {
                    return p;
                }
            }
        }
    }
    ADD_FAILURE() << "no skin colour with luma " << luma;
    return {};
}

struct Analysis {
    bool found = false;
    std::vector<RegionBox> boxes;
    FrameImage display;
    std::string diagnostics;
};

Analysis Analyze(const FrameImage& frame, AnalysisOptions options = {},
                 const SkinColorRange& range = {}) {
    Analysis result;
    result.display = frame;
    std::FILE* log = std::tmpfile();
    result.found = AnalyzeFrame(result.boxes, result.display, frame, range, options, nullptr, log);
    std::rewind(log);
    char buffer[256] = {};
    const std::size_t length = std::fread(buffer, 1, sizeof buffer - 1, log);
    result.diagnostics.assign(buffer, length);
    std::fclose(log);
    return result;
}

TEST(AnalyzeFrame, ReportsRegionNotFoundAndTouchesNothing) {
    const FrameImage plain = BackgroundFrame(64, 48);
    AnalysisOptions mask;
    mask.maskEnabled = true;
    Analysis a = Analyze(plain, mask);
    EXPECT_FALSE(a.found);
    EXPECT_EQ(a.diagnostics, " region not found.\n");
    EXPECT_TRUE(a.boxes.empty());
    EXPECT_EQ(a.display.pixels, plain.pixels);

    // Only regions failing the aspect test: 19 x 11 pixels is width 18, height 10.
    FrameImage wide = BackgroundFrame(100, 60);
    FillRect(wide, 10, 10, 28, 20, SKIN);
    EXPECT_FALSE(Analyze(wide).found);

    // Too small to hold an inner pixel, and storage that disagrees with the size.
    EXPECT_FALSE(Analyze(MakeFrameImage(2, 2)).found);
    FrameImage broken = MakeFrameImage(10, 10);
    broken.pixels.resize(7);
    EXPECT_FALSE(Analyze(broken).found);
}

TEST(AnalyzeFrame, AspectTestAcceptsUpTo17To10EitherWay) {
    FrameImage frame = BackgroundFrame(100, 60);
    FillRect(frame, 10, 10, 27, 20, SKIN);  // width 17, height 10
    Analysis a = Analyze(frame);
    EXPECT_TRUE(a.found);
    EXPECT_EQ(a.boxes.size(), 1u);

    frame = BackgroundFrame(100, 60);
    FillRect(frame, 10, 10, 20, 27, SKIN);  // width 10, height 17
    EXPECT_EQ(Analyze(frame).boxes.size(), 1u);
}

TEST(AnalyzeFrame, ChoosesTheLargestPassingRegionAndTheEarlierOnATie) {
    FrameImage frame = BackgroundFrame(200, 100);
    FillRect(frame, 10, 10, 29, 29, SKIN);    // region 1: 20 x 20
    FillRect(frame, 100, 10, 119, 29, SKIN);  // region 2: same area
    FillRect(frame, 50, 50, 79, 54, SKIN);    // region 3: larger but far too wide
    FrameRegions details;
    std::vector<RegionBox> boxes;
    FrameImage display = frame;
    ASSERT_TRUE(AnalyzeFrame(boxes, display, frame, {}, {}, &details, nullptr));
    ASSERT_EQ(details.regions.size(), 3u);
    EXPECT_EQ(details.best, 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_LT(boxes[0].right, 100);

    FillRect(frame, 100, 30, 119, 30, SKIN);  // region 2 grows by one row
    boxes.clear();
    AnalyzeFrame(boxes, display, frame, {}, {}, &details, nullptr);
    EXPECT_EQ(details.best, 1);
}

TEST(AnalyzeFrame, DropsRegionsNarrowerThanEightPercentOfTheFrameWidth) {
    EXPECT_EQ(MinRegionSide(320), 25);
    EXPECT_EQ(MinRegionSide(640), 51);
    EXPECT_EQ(MinRegionSide(720), 57);

    AnalysisOptions mask;
    mask.maskEnabled = true;
    FrameImage frame = BackgroundFrame(320, 240);
    FillRect(frame, 10, 10, 34, 35, SKIN);  // width 24, height 25
    Analysis narrow = Analyze(frame, mask);
    EXPECT_TRUE(narrow.found);
    EXPECT_TRUE(narrow.boxes.empty());
    EXPECT_EQ(narrow.display.pixels, frame.pixels);

    FillRect(frame, 35, 10, 35, 35, SKIN);  // width exactly 25
    EXPECT_EQ(Analyze(frame).boxes.size(), 1u);

    // A single pixel passes the aspect test and is then dropped by the size rule.
    FrameImage dot = BackgroundFrame(13, 13);
    FillRect(dot, 5, 5, 5, 5, SKIN);
    Analysis single = Analyze(dot);
    EXPECT_TRUE(single.found);
    EXPECT_TRUE(single.boxes.empty());
}

TEST(AnalyzeFrame, LumaTestLooksAtTheRegionsLastPixelOnly) {
    const Pixel24 bright = SkinWithLuma(161), dark = SkinWithLuma(107), middle = SkinWithLuma(134);
    FrameImage frame = BackgroundFrame(100, 60);
    for (std::int32_t y = 10; y <= 19; ++y) {
        for (std::int32_t x = 10; x <= 19; ++x) {
            FillRect(frame, x, y, x, y, (x + y) % 2 ? dark : bright);
        }
    }
    // The last pixel in scan order is the rightmost one of the highest stored row.
    FillRect(frame, 19, 19, 19, 19, middle);
    EXPECT_EQ(Analyze(frame).boxes.size(), 1u);
    FillRect(frame, 19, 19, 19, 19, bright);
    EXPECT_TRUE(Analyze(frame).boxes.empty());

    // Area 100 with last pixel 60: mean 47.5 gives 156.25 / 100 > 1.5, mean 47.8 gives 1.4884.
    const Pixel24 l47 = SkinWithLuma(47), l48 = SkinWithLuma(48), l60 = SkinWithLuma(60);
    for (int brighter : {37, 67}) {
        FrameImage block = BackgroundFrame(100, 60);
        for (int i = 0; i < 99; ++i) {
            FillRect(block, 10 + i % 10, 10 + i / 10, 10 + i % 10, 10 + i / 10,
                     i < brighter ? l48 : l47);
        }
        FillRect(block, 19, 19, 19, 19, l60);
        EXPECT_EQ(Analyze(block).boxes.size(), brighter == 37 ? 0u : 1u) << brighter;
    }
}

TEST(AnalyzeFrame, BuildsSquareBoxesInTopDownCoordinates) {
    // Region of 41 x 31 pixels centred on (100, 50) in a 240-row frame: width 40, height 30.
    FrameImage frame = BackgroundFrame(320, 240);
    FillRect(frame, 80, 35, 120, 65, SKIN);
    EXPECT_EQ(Analyze(frame).boxes, (std::vector<RegionBox>{{85, 174, 115, 204}}));
    AnalysisOptions expand;
    expand.regionExpansion = true;
    EXPECT_EQ(Analyze(frame, expand).boxes, (std::vector<RegionBox>{{80, 169, 120, 209}}));
}

TEST(AnalyzeFrame, TruncatesBoxCoordinatesTowardZero) {
    // 12 rows against the top of a 100-row frame: centroid row from the top is 6.5. With expansion
    // the half side is 7, 8 or 9 for widths 14, 16, 18: top = -0.5, -1.5, -2.5.
    AnalysisOptions expand;
    expand.regionExpansion = true;
    for (auto [width, top] : {std::pair{14, 0}, std::pair{16, -1}, std::pair{18, -2}}) {
        FrameImage frame = BackgroundFrame(100, 100);
        FillRect(frame, 10, 87, 10 + width, 98, SKIN);
        Analysis a = Analyze(frame, expand);
        ASSERT_EQ(a.boxes.size(), 1u) << width;
        EXPECT_EQ(a.boxes[0].top, top) << width;
        EXPECT_EQ(a.boxes[0].bottom, static_cast<std::int32_t>(6.5 + width / 2.0)) << width;
    }
}

TEST(AnalyzeFrame, PaintsOnlyTheChosenRegionUnlessAllIsOn) {
    FrameImage frame = BackgroundFrame(100, 60);
    FillRect(frame, 5, 5, 24, 24, SKIN);    // region 1, the face
    FillRect(frame, 60, 5, 79, 24, SKIN);   // region 2, as large: the face stays chosen
    FillRect(frame, 30, 40, 89, 50, SKIN);  // region 3, long and thin: only kept with "All"
    AnalysisOptions mask;
    mask.maskEnabled = true;
    const Pixel24 blue{255, 0, 0};
    auto at = [](const FrameImage& f, std::int32_t x, std::int32_t y) {
        return f.pixels[static_cast<std::size_t>(y) * f.width + x];
    };

    Analysis one = Analyze(frame, mask);
    EXPECT_EQ(one.boxes.size(), 1u);
    EXPECT_EQ(at(one.display, 10, 10), blue);
    EXPECT_EQ(at(one.display, 40, 45), SKIN);
    EXPECT_EQ(at(one.display, 70, 10), SKIN);
    EXPECT_EQ(at(one.display, 0, 0), BACKGROUND);

    mask.allRegions = true;
    Analysis all = Analyze(frame, mask);
    EXPECT_EQ(all.boxes.size(), 3u);
    EXPECT_EQ(at(all.display, 40, 45), blue);
    EXPECT_EQ(at(all.display, 79, 24), blue);

    mask.maskEnabled = false;
    EXPECT_EQ(Analyze(frame, mask).display.pixels, frame.pixels);
}

// The analysis written plainly: label plane, two scans of the plane per kept region.
Analysis ReferenceAnalysis(const FrameImage& frame, const AnalysisOptions& options) {
    Analysis result;
    result.display = frame;
    const SkinMask mask = BuildSkinMask(frame, SkinColorRange{});
    LabelImage labels;
    const std::int32_t k = LabelRegions(mask, labels);
    std::vector<RegionStats> regions;
    ComputeRegionStats(regions, labels, k);
    std::int32_t best = -1;
    for (std::int32_t i = 0; i < k; ++i) {
        const double ratio = static_cast<double>(regions[i].width) / regions[i].height;
        const bool passes = !(ratio > 1.7 || ratio < 1.0 / 1.7);  // 0/0 passes
        if (passes && (best < 0 || regions[i].area > regions[best].area)) {
            best = i;
        }
    }
    if (best < 0) {
        return result;
    }
    result.found = true;
    std::vector<int> keep(k, 1);
    for (std::int32_t i = 0; i < k; ++i) {
        const std::int32_t side = MinRegionSide(frame.width);
        if (regions[i].width < side || regions[i].height < side ||
            (!options.allRegions && i != best)) {
            keep[i] = 0;
        }
    }
    for (std::int32_t i = 0; i < k; ++i) {
        if (!keep[i]) {
            continue;
        }
        const double inv = 1.0 / regions[i].area;
        double sum = 0;
        int last = 0;
        for (std::size_t p = 0; p < labels.labels.size(); ++p) {
            if (labels.labels[p] == i + 1) {
                sum += PixelLuma(frame.pixels[p]);
                last = PixelLuma(frame.pixels[p]);
            }
        }
        const double mean = sum * inv;
        if (inv * ((last - mean) * (last - mean)) > 1.5) {
            keep[i] = 0;
        }
    }
    for (std::int32_t i = 0; i < k; ++i) {
        if (!keep[i]) {
            continue;
        }
        const RegionStats& r = regions[i];
        const double half =
            (options.regionExpansion ? std::max(r.width, r.height) : std::min(r.width, r.height)) *
            0.5;
        const double cy = (frame.height - r.meanY) - 1.0;
        result.boxes.push_back(
            {static_cast<std::int32_t>(r.meanX - half), static_cast<std::int32_t>(cy - half),
             static_cast<std::int32_t>(half + r.meanX), static_cast<std::int32_t>(cy + half)});
    }
    if (options.maskEnabled) {
        for (std::size_t p = 0; p < labels.labels.size(); ++p) {
            const std::int32_t l = labels.labels[p];
            if (l != 0 && keep[l - 1] && (options.allRegions || l == best + 1)) {
                result.display.pixels[p] = {255, 0, 0};
            }
        }
    }
    return result;
}

TEST(AnalyzeFrame, AgreesWithThePlainAlgorithmOnRandomScenes) {
    std::mt19937 random(11);
    int scenesWithBoxes = 0;
    const Pixel24 palette[] = {SKIN, SkinWithLuma(120), SkinWithLuma(121), SkinWithLuma(90)};
    // After 60 camera-like scenes, the smallest frames and widths at the 64-cell words' edges:
    // rows are classified and labelled a word at a time.
    const std::pair<std::int32_t, std::int32_t> edgeSizes[] = {
        {1, 7},  {2, 2},   {3, 3},   {4, 5},    {63, 9}, {64, 10},
        {65, 11}, {127, 40}, {128, 41}, {129, 3}, {5, 64}, {66, 66}};
    for (int scene = 0; scene < 60 + static_cast<int>(std::size(edgeSizes)); ++scene) {
        const auto [width, height] =
            scene < 60 ? std::pair{120 + scene % 7, 90} : edgeSizes[scene - 60];
        FrameImage frame = BackgroundFrame(width, height);
        const int blobs = 1 + scene % 6;
        for (int b = 0; b < blobs; ++b) {
            const std::int32_t x0 = scene < 60 ? random() % 100 : random() % width;
            const std::int32_t y0 = scene < 60 ? random() % 70 : random() % height;
            const std::int32_t x1 = std::min<std::int32_t>(x0 + random() % 40, frame.width - 1);
            const std::int32_t y1 = std::min<std::int32_t>(y0 + random() % 40, frame.height - 1);
            const bool uniform = random() % 2 == 0;
            for (std::int32_t y = y0; y <= y1; ++y) {
                for (std::int32_t x = x0; x <= x1; ++x) {
                    FillRect(frame, x, y, x, y, uniform ? SKIN : palette[random() % 4]);
                }
            }
        }
        AnalysisOptions options;
        options.maskEnabled = scene & 1;
        options.regionExpansion = scene & 2;
        options.allRegions = scene & 4;
        const Analysis expected = ReferenceAnalysis(frame, options);
        const Analysis actual = Analyze(frame, options);
        ASSERT_EQ(actual.found, expected.found) << scene;
        ASSERT_EQ(actual.boxes, expected.boxes) << scene;
        ASSERT_EQ(actual.display.pixels, expected.display.pixels) << scene;
        scenesWithBoxes += !actual.boxes.empty();
    }
    EXPECT_GT(scenesWithBoxes, 20);  // the scenes exercise the filters, not only "not found"
}

}  // namespace
