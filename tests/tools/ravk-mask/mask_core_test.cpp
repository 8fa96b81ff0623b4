// ravk-mask's portable decisions without a video file: the command line, the progress text, the
// picture turned upright and back, and the area the writer converts back.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "frame_cover.h"
#include "mask_progress.h"
#include "mask_request.h"
#include "skin_locator.h"

namespace {

TEST(MaskRequestTest, DefaultsOptionsAndRefusals) {
    MaskRequest request;
    std::string error;
    ASSERT_TRUE(ParseMaskArgs({"in.mov", "out.mp4"}, request, error)) << error;
    EXPECT_TRUE(request.analysis.allRegions);  // every face, always
    EXPECT_FALSE(request.finder || request.cover || request.keepCoveredMs);
    ASSERT_TRUE(
        ParseMaskArgs({"--finder", "cnn-fast", "--cover", "Pixelate", "--keep-covered-ms", "0",
                       "--crf", "18", "--preset", "slow", "--box", "--force", "a", "b.mkv"},
                      request, error))
        << error;
    EXPECT_EQ(request.finder, FaceFinderKind::CnnFast);
    EXPECT_EQ(request.cover, CoverStyle::Pixelate);
    EXPECT_EQ(request.keepCoveredMs, 0u);
    EXPECT_EQ(request.crf, 18);
    EXPECT_EQ(request.preset, "slow");
    EXPECT_TRUE(request.box && request.force);

    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"in.mp4"}, "no output file given"},
        {{"a", "b", "c"}, "too many arguments: c"},
        {{"--crf", "64", "a", "b"}, "--crf takes 0 to 63, not 64"},
        {{"--keep-covered-ms", "10001", "a", "b"}, "--keep-covered-ms takes 0 to 10000"},
        {{"--keep-covered-ms", "5s", "a", "b"}, "--keep-covered-ms takes"},
        {{"--finder", "eyes", "a", "b"}, "unknown finder eyes"},
        {{"--speed", "a", "b"}, "unknown option --speed"},
        {{"a", "b", "--preset"}, "--preset needs a value"},
    };
    for (const auto& [args, reason] : refused) {
        EXPECT_FALSE(ParseMaskArgs(args, request, error)) << reason;
        EXPECT_EQ(error.find(reason), 0u) << error;
    }
    EXPECT_EQ(CheckOutputExtension("clip.MP4", {".mp4", ".mkv"}), "");
    EXPECT_EQ(CheckOutputExtension("clip.gif", {".mp4", ".mkv", ".avi"}),
              "cannot write .gif files (this build writes .mp4, .mkv or .avi)");
    EXPECT_EQ(CheckOutputExtension("clip", {".avi"}),
              "cannot write an output without an extension (this build writes .avi)");
}

TEST(MaskProgressTest, TerminalLineAndTenths) {
    MaskProgress terminal(ProgressMode::Terminal, 300);
    EXPECT_EQ(terminal.Update(30, 1.0), "\rravk-mask: 30/300 frames, 10 %, 30.0 fps, 0:09 left");
    EXPECT_EQ(terminal.Update(31, 1.1), "");  // at most four times a second
    EXPECT_EQ(terminal.Finish(300, 10.0),
              "\rravk-mask: 300/300 frames, 100 %, 30.0 fps, 0:00 left\n");

    MaskProgress lines(ProgressMode::Lines, 20);
    std::string all;
    for (int done = 1; done <= 20; ++done) {
        all += lines.Update(done, done * 0.5);
    }
    all += lines.Finish(20, 10.0);
    EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 10) << all;
    MaskProgress silent(ProgressMode::Silent, 20);
    EXPECT_EQ(silent.Update(20, 1.0) + silent.Finish(20, 1.0), "");
}

TEST(FrameCoverTest, TurnsUprightAndBackAndMapsAnUprightAreaToTheStoredOne) {
    // A 5 x 3 picture whose pixels are numbered, rows bottom-up.
    FrameImage picture = MakeFrameImage(5, 3);
    for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
        picture.pixels[i] = {static_cast<std::uint8_t>(i), 0, 0};
    }
    FrameImage turned;
    TurnFrame(picture, 1, turned);  // clockwise: the top-left pixel goes to the top right
    ASSERT_EQ(turned.width, 3);
    ASSERT_EQ(turned.height, 5);
    EXPECT_EQ(turned.pixels[4 * 3 + 2], picture.pixels[2 * 5 + 0]);
    for (int turns = 0; turns < 4; ++turns) {
        TurnFrame(picture, turns, turned);
        DisplaySurface upright;
        CreateDisplaySurface(upright, turned.width, turned.height);
        for (std::int32_t r = 0; r < turned.height; ++r) {
            for (std::int32_t x = 0; x < turned.width; ++x) {
                upright.pixels[r * upright.stride + 3 * x] =
                    turned.pixels[(turned.height - 1 - r) * turned.width + x].blue;
            }
        }
        // One upright pixel marked, the one at (1, 2), is found again where the area maps to.
        upright.pixels[2 * upright.stride + 3 * 1 + 2] = 99;
        DisplaySurface back;
        TurnSurfaceBack(upright, turns, back);
        const PixelRect stored = StoredArea({1, 2, 2, 3}, 5, 3, turns);
        ASSERT_EQ(stored.right - stored.left, 1) << turns << " turns";
        ASSERT_EQ(stored.bottom - stored.top, 1) << turns << " turns";
        for (std::int32_t r = 0; r < 3; ++r) {
            for (std::int32_t x = 0; x < 5; ++x) {
                const std::uint8_t* p = &back.pixels[r * back.stride + 3 * x];
                const bool marked = x == stored.left && r == stored.top;
                EXPECT_EQ(p[0], picture.pixels[(2 - r) * 5 + x].blue) << turns << " turns";
                EXPECT_EQ(p[2], marked ? 99 : 0) << turns << " turns " << x << "," << r;
            }
        }
        EXPECT_EQ(StoredArea({0, 0, turned.width, turned.height}, 5, 3, turns),
                  (PixelRect{0, 0, 5, 3}));
        EXPECT_EQ(StoredArea({}, 5, 3, turns), PixelRect{});
    }
}

// When the writer takes only the changed area, the cover stage copies no more than that, and
// the area, widened to even edges, is what a whole copy would have given there.
TEST(FrameCoverTest, TheChangedAreaIsCurrentWhenOnlyItIsCopied) {
    FrameImage picture = MakeFrameImage(64, 48);
    for (std::int32_t y = 0; y < 48; ++y) {
        for (std::int32_t x = 0; x < 64; ++x) {
            const bool skin = x >= 13 && x < 34 && y >= 9 && y < 30;  // y from the bottom row
            picture.pixels[static_cast<std::size_t>(y * 64 + x)] =
                skin ? Pixel24{120, 150, 200}
                     : Pixel24{static_cast<std::uint8_t>(170 - x), 130,
                               static_cast<std::uint8_t>(y)};
        }
    }
    const OverlayTable overlays{};
    const PaintControls controls{{false, false, false, true}, true, true};
    CoverSettings settings;
    settings.style = CoverStyle::Pixelate;
    for (const int turns : {0, 1, 2, 3}) {
        MaskFrame whole;
        MaskFrame part;
        whole.picture = picture;
        part.picture = picture;
        part.changedAreaOnly = true;
        FrameCover(std::make_unique<SkinLocator>(SkinColorRange{}, nullptr), overlays, controls,
                   settings, turns)
            .Cover(whole, false);
        FrameCover(std::make_unique<SkinLocator>(SkinColorRange{}, nullptr), overlays, controls,
                   settings, turns)
            .Cover(part, false);
        const PixelRect area = part.changed;
        ASSERT_EQ(area, whole.changed) << turns << " turns";
        ASSERT_LT(area.left, area.right) << turns << " turns";
        EXPECT_EQ(area, EvenArea(area, 64, 48)) << turns << " turns";
        for (std::int32_t r = area.top; r < area.bottom; ++r) {
            const std::size_t row = static_cast<std::size_t>(r) * whole.covered.stride;
            EXPECT_TRUE(std::equal(&part.covered.pixels[row + 3 * area.left],
                                   &part.covered.pixels[row + 3 * area.right],
                                   &whole.covered.pixels[row + 3 * area.left]))
                << turns << " turns, row " << r;
        }
    }
}

}  // namespace
