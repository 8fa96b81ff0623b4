#include "paint_preview.h"

#include "skin_locator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <future>
#include <string>
#include <vector>

#include "bmp_file.h"
#include "box_outline.h"
#include "snapshot.h"
#include "support/test_files.h"

namespace {

constexpr Pixel24 SKIN{120, 150, 200};
constexpr Pixel24 WALL{170, 130, 100};
constexpr Pixel24 RED{0, 0, 255};

// Overlay frame i is one opaque pixel whose blue byte is i, so the surface tells which was drawn.
Pixel24 OverlayColour(std::int32_t frame) {
    return Pixel24{static_cast<std::uint8_t>(frame), 77, 9};
}

struct Square {
    std::int32_t left, top, side;  // top-down picture coordinates
};

// A wall with skin squares; rows are stored bottom-up as in every frame.
FrameImage Scene(std::int32_t width, std::int32_t height, const std::vector<Square>& squares) {
    FrameImage frame = MakeFrameImage(width, height);
    for (std::int32_t r = 0; r < height; ++r) {
        for (std::int32_t x = 0; x < width; ++x) {
            Pixel24 p = WALL;
            for (const Square& s : squares) {
                if (x >= s.left && x < s.left + s.side && r >= s.top && r < s.top + s.side) {
                    p = SKIN;
                }
            }
            frame.pixels[static_cast<std::size_t>((height - 1 - r) * width + x)] = p;
        }
    }
    return frame;
}

Pixel24 At(const DisplaySurface& surface, std::int32_t x, std::int32_t r) {
    const std::uint8_t* p = &surface.pixels[static_cast<std::size_t>(r * surface.stride + 3 * x)];
    return Pixel24{p[0], p[1], p[2]};
}

Pixel24 LiveAt(const FrameImage& frame, std::int32_t x, std::int32_t r) {
    return frame.pixels[static_cast<std::size_t>((frame.height - 1 - r) * frame.width + x)];
}

class PaintPreviewTest : public ::testing::Test {
  protected:
    PaintPreviewTest() {
        for (std::int32_t i = 0; i < OVERLAY_FRAME_COUNT; ++i) {
            overlays[static_cast<std::size_t>(i)] = OverlaySprite{1, 1, {OverlayColour(i)}, {0}};
        }
        live = Scene(320, 240, {{100, 60, 100}});
        EXPECT_TRUE(CreateDisplaySurface(surface, 320, 240));
    }
    ~PaintPreviewTest() override { std::fclose(diagnostics); }

    std::optional<std::string> Paint(std::uint32_t tick) {
        SkinLocator locator(skinRange, diagnostics);
        const PaintInputs in{.controls = controls,
                             .live = live,
                             .captureWidth = captureWidth,
                             .captureHeight = captureHeight,
                             .locator = locator,
                             .overlays = overlays,
                             .cover = cover,
                             .tick = tick,
                             .recording = recording,
                             .copyPaintedOnly = copyPaintedOnly};
        return PaintPreview(in, state, surface, frameLock, [&](const SurfaceView& view) {
            ++presented;
            presentedPixels = view.pixels;
            // std::mutex must not be tried by its owner, so another thread looks.
            lockedWhilePresenting = !std::async(std::launch::async, [&] {
                                         const bool free = frameLock.try_lock();
                                         if (free) {
                                             frameLock.unlock();
                                         }
                                         return free;
                                     }).get();
        });
    }

    // The boxes AnalyzeFrame finds in the live frame with the current options.
    std::vector<RegionBox> ExpectedBoxes() {
        std::vector<RegionBox> boxes;
        FrameImage display = live;
        AnalyzeFrame(boxes, display, live, skinRange, controls.options, nullptr, nullptr);
        return boxes;
    }

    std::string Diagnostics() {
        std::string text(256, '\0');
        std::rewind(diagnostics);
        text.resize(std::fread(text.data(), 1, text.size(), diagnostics));
        return text;
    }

    PaintControls controls;
    FrameImage live;
    std::int32_t captureWidth = 320;
    std::int32_t captureHeight = 240;
    SkinColorRange skinRange;
    OverlayTable overlays;
    CoverSettings cover;
    bool recording = false;
    bool copyPaintedOnly = false;
    std::FILE* diagnostics = std::tmpfile();
    PaintState state;
    DisplaySurface surface;
    std::mutex frameLock;
    int presented = 0;
    const std::uint8_t* presentedPixels = nullptr;
    bool lockedWhilePresenting = false;
};

TEST_F(PaintPreviewTest, WithoutMaskOverlayOrBoxTheRawFrameIsShownUprightUnanalysed) {
    controls.options = AnalysisOptions{false, true, true, true};
    Paint(0);
    for (std::int32_t r = 0; r < 240; ++r) {
        for (std::int32_t x = 0; x < 320; ++x) {
            ASSERT_EQ(At(surface, x, r), LiveAt(live, x, r)) << x << ", " << r;
        }
    }
    EXPECT_EQ(Diagnostics(), "");
    EXPECT_TRUE(state.trackHistory.boxes.empty());
    EXPECT_EQ(presented, 1);
    EXPECT_EQ(presentedPixels, surface.pixels.data());
    EXPECT_TRUE(lockedWhilePresenting);
}

TEST_F(PaintPreviewTest, EachOfMaskOverlayAndBoxRunsTheAnalysis) {
    live = Scene(320, 240, {});
    for (PaintControls c : {PaintControls{{true, false, false, false}, false, false},
                            PaintControls{{}, true, false}, PaintControls{{}, false, true}}) {
        controls = c;
        Paint(0);
    }
    EXPECT_EQ(Diagnostics(), " region not found.\n region not found.\n region not found.\n");
}

TEST_F(PaintPreviewTest, MaskIsPaintedIntoTheShownPictureNotIntoTheLiveFrame) {
    const FrameImage before = live;
    controls.options.maskEnabled = true;
    Paint(0);
    EXPECT_EQ(At(surface, 150, 110), (Pixel24{255, 0, 0}));
    EXPECT_EQ(At(surface, 10, 10), WALL);
    EXPECT_EQ(live.pixels, before.pixels);
}

TEST_F(PaintPreviewTest, EveryBoxGetsTheSameOverlayFrameWithTheOutlineOnTop) {
    live = Scene(320, 240, {{20, 40, 80}, {200, 100, 90}});
    controls.options.allRegions = true;
    controls.overlayEnabled = true;
    controls.boxEnabled = true;
    const std::vector<RegionBox> boxes = ExpectedBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    for (std::uint32_t tick : {0u, 20u, 40u}) {
        Paint(tick);
        for (const RegionBox& box : boxes) {
            EXPECT_EQ(At(surface, (box.left + box.right) / 2, (box.top + box.bottom) / 2),
                      OverlayColour(static_cast<std::int32_t>(tick / 20)));
            EXPECT_EQ(At(surface, box.left + 1, box.top + 1),
                      OverlayColour(static_cast<std::int32_t>(tick / 20)));
            EXPECT_EQ(At(surface, box.left, box.top), RED);
            EXPECT_EQ(At(surface, box.right, box.bottom), RED);
        }
    }
}

TEST_F(PaintPreviewTest, OverlayAdvancesWhenNoRegionIsFoundAndPausesWhenOff) {
    live = Scene(320, 240, {});
    controls.overlayEnabled = true;
    for (std::uint32_t tick = 0; tick <= 60; tick += 20) {
        Paint(tick);
    }
    EXPECT_EQ(state.animation.frameIndex, 3);
    EXPECT_EQ(At(surface, 160, 120), WALL);
    controls.overlayEnabled = false;
    Paint(80);
    Paint(100);
    EXPECT_EQ(state.animation.frameIndex, 3);
}

TEST_F(PaintPreviewTest, SurfaceKeepsItsPictureWhenSizesDisagreeButIsStillDecorated) {
    Paint(0);
    const DisplaySurface shown = surface;
    controls.overlayEnabled = true;
    controls.boxEnabled = true;
    const RegionBox box = ExpectedBoxes().at(0);
    // Stale surface, then a live frame of another size than the surface.
    live.pixels[0] = Pixel24{1, 2, 3};
    captureWidth = 640;
    captureHeight = 480;
    Paint(20);
    EXPECT_EQ(At(surface, 0, 239), At(shown, 0, 239));
    EXPECT_EQ(At(surface, (box.left + box.right) / 2, (box.top + box.bottom) / 2),
              OverlayColour(0));
    EXPECT_EQ(At(surface, box.left, box.top), RED);
    captureWidth = 320;
    captureHeight = 240;
    live = Scene(640, 480, {{10, 10, 60}});
    Paint(40);
    EXPECT_EQ(At(surface, 300, 200), At(shown, 300, 200));
    EXPECT_EQ(presented, 3);
}

TEST_F(PaintPreviewTest, NothingIsDrawnOrPresentedWithoutASurface) {
    surface = DisplaySurface{};
    controls.overlayEnabled = true;
    controls.boxEnabled = true;
    Paint(0);
    EXPECT_EQ(presented, 0);
    EXPECT_TRUE(surface.pixels.empty());
    EXPECT_EQ(state.frameRate.paintCount, 1u);
}

TEST_F(PaintPreviewTest, LooseTrackingSmoothsTheFirstBoxUnlessAllIsOn) {
    controls.boxEnabled = true;
    controls.options.looseTracking = true;
    const RegionBox first = ExpectedBoxes().at(0);
    Paint(0);
    live = Scene(320, 240, {{110, 70, 100}});
    const RegionBox second = ExpectedBoxes().at(0);
    Paint(20);
    ASSERT_EQ(state.trackHistory.boxes.size(), 2u);
    const RegionBox mean{(first.left + second.left) / 2, (first.top + second.top) / 2,
                         (first.right + second.right) / 2, (first.bottom + second.bottom) / 2};
    EXPECT_EQ(state.boxes.at(0), mean);
    EXPECT_EQ(At(surface, mean.left, mean.top), RED);

    controls.options.allRegions = true;
    Paint(40);
    EXPECT_EQ(state.trackHistory.boxes.size(), 2u);
    EXPECT_EQ(state.boxes.at(0), second);
}

TEST_F(PaintPreviewTest, LostFaceStaysCoveredUntilTheHoldRunsOutButTheMaskIsNeverHeld) {
    const FrameImage face = live;
    const FrameImage nothing = Scene(320, 240, {});
    const FrameImage shifted = Scene(320, 240, {{150, 90, 100}});
    live = shifted;
    const RegionBox moved = ExpectedBoxes().at(0);
    live = face;
    const RegionBox found = ExpectedBoxes().at(0);
    cover.keepCoveredMs = 1000;
    controls.options.maskEnabled = true;
    controls.boxEnabled = true;
    const struct {
        std::uint32_t tick;
        const FrameImage& frame;
        std::vector<RegionBox> drawn;
    } paints[] = {
        {5000, face, {found}},    {5500, nothing, {found}}, {5999, nothing, {found}},
        {6000, nothing, {}},      {6001, nothing, {}},      {7000, face, {found}},
        {7020, shifted, {moved}}, {7500, nothing, {moved}}, {8019, nothing, {moved}},
        {8020, nothing, {}},
    };
    for (const auto& paint : paints) {
        live = paint.frame;
        Paint(paint.tick);
        EXPECT_EQ(state.boxes, paint.drawn) << paint.tick;
        EXPECT_EQ(At(surface, 160, 125) == (Pixel24{255, 0, 0}), &paint.frame != &nothing)
            << paint.tick;
        for (const RegionBox& box : paint.drawn) {
            EXPECT_EQ(At(surface, box.left, box.top), RED) << paint.tick;
        }
    }
}

TEST_F(PaintPreviewTest, HoldKeepsEveryBoxUnderAllAndNeverFeedsLooseTracking) {
    const FrameImage two = Scene(320, 240, {{20, 40, 80}, {200, 100, 90}});
    const FrameImage nothing = Scene(320, 240, {});
    cover.keepCoveredMs = 500;
    controls.overlayEnabled = true;
    controls.options.allRegions = true;
    live = two;
    const std::vector<RegionBox> both = ExpectedBoxes();
    ASSERT_EQ(both.size(), 2u);
    Paint(0);
    live = nothing;
    Paint(20);
    EXPECT_EQ(state.boxes, both);

    controls.options.allRegions = false;
    controls.options.looseTracking = true;
    live = two;
    Paint(40);
    const std::vector<RegionBox> history = state.trackHistory.boxes;
    live = nothing;
    Paint(60);
    Paint(80);
    EXPECT_EQ(state.trackHistory.boxes, history);
    EXPECT_EQ(state.boxes.size(), 1u);
}

// Pixelate and blur replace the overlay over the picture as masked, and the outline stays on top.
TEST_F(PaintPreviewTest, PixelateAndBlurCoverTheMaskedPictureUnderTheOutline) {
    live = Scene(320, 240, {{100, 60, 100}, {40, 50, 30}});
    for (const CoverStyle style : {CoverStyle::Pixelate, CoverStyle::Blur}) {
        controls = PaintControls{{true, false, false, false}, false, false};
        cover.style = style;
        Paint(0);
        DisplaySurface expected = surface;
        CoverScratch scratch;
        for (const RegionBox& box : ExpectedBoxes()) {
            style == CoverStyle::Pixelate ? PixelateBox(box, expected, scratch)
                                          : BlurBox(box, expected, scratch);
            DrawBoxOutline(box, expected);
        }
        controls.overlayEnabled = true;
        controls.boxEnabled = true;
        Paint(20);
        EXPECT_EQ(surface.pixels, expected.pixels);
    }
}

// Outside the painted area the surface is the live frame, whatever the cover, the outline and the
// boxes' places (one reaching the surface's corner); the mask may change anything. Copying only
// that area draws the same there and leaves the rest of the surface alone.
TEST_F(PaintPreviewTest, NothingIsDrawnOutsideThePaintedArea) {
    live = Scene(320, 240, {{100, 60, 100}, {290, 0, 30}, {20, 150, 40}});
    for (const CoverStyle style : {CoverStyle::Overlay, CoverStyle::Pixelate, CoverStyle::Blur}) {
        for (const bool box : {false, true}) {
            controls = PaintControls{{false, false, false, true}, true, box};
            cover.style = style;
            Paint(0);
            const PixelRect area = PaintedArea(controls, state.boxes, 320, 240);
            ASSERT_EQ(state.boxes.size(), 3u);
            bool drawn = false;
            for (std::int32_t r = 0; r < 240; ++r) {
                for (std::int32_t x = 0; x < 320; ++x) {
                    const bool inside =
                        x >= area.left && x < area.right && r >= area.top && r < area.bottom;
                    const bool same = At(surface, x, r) == LiveAt(live, x, r);
                    drawn = drawn || !same;
                    ASSERT_TRUE(inside || same) << x << "," << r;
                }
            }
            // Blurring or pixelating a plain square changes nothing, so only these must show.
            EXPECT_TRUE(drawn || (style != CoverStyle::Overlay && !box));

            const DisplaySurface whole = surface;
            std::fill(surface.pixels.begin(), surface.pixels.end(), std::uint8_t{0x5a});
            copyPaintedOnly = true;
            Paint(0);
            copyPaintedOnly = false;
            for (std::int32_t r = 0; r < 240; ++r) {
                for (std::int32_t x = 0; x < 320; ++x) {
                    const bool inside =
                        x >= area.left && x < area.right && r >= area.top && r < area.bottom;
                    ASSERT_EQ(At(surface, x, r), (inside ? At(whole, x, r) : Pixel24{90, 90, 90}))
                        << x << "," << r;
                }
            }
        }
    }
    controls = PaintControls{{true, false, false, true}, true, true};
    EXPECT_EQ(PaintedArea(controls, state.boxes, 320, 240), (PixelRect{0, 0, 320, 240}));
    controls = PaintControls{{false, false, false, true}, false, false};
    EXPECT_EQ(PaintedArea(controls, state.boxes, 320, 240), PixelRect{});
}

TEST_F(PaintPreviewTest, TitleIsReturnedWhenDueInTheRecordingFormWhileRecording) {
    recording = true;
    std::optional<std::string> title;
    for (std::uint32_t tick = 0; tick <= 1020; tick += 20) {
        title = Paint(tick);
        if (tick < 1020) {
            ASSERT_EQ(title, std::nullopt) << tick;
        }
    }
    EXPECT_EQ(title, "[CAPTURING] Ravkeler / FPS = 51.0");
}

TEST_F(PaintPreviewTest, SnapshotSavesTheComposedSurfaceAtItsOwnSize) {
    controls.options.maskEnabled = true;
    controls.overlayEnabled = true;
    controls.boxEnabled = true;
    Paint(0);
    TempDir dir;
    const CurrentDirScope inDir(dir.Path());
    SaveSnapshotPair(live, View(surface));
    FrameImage saved;
    std::string error;
    ASSERT_TRUE(ReadBmpFile(SNAPSHOT_DISPLAY_FILE, saved, error)) << error;
    ASSERT_EQ(saved.width, 320);
    ASSERT_EQ(saved.height, 240);
    for (std::int32_t r = 0; r < 240; ++r) {
        for (std::int32_t x = 0; x < 320; ++x) {
            ASSERT_EQ(LiveAt(saved, x, r), At(surface, x, r)) << x << ", " << r;
        }
    }
    ASSERT_TRUE(ReadBmpFile(SNAPSHOT_ORIGINAL_FILE, saved, error)) << error;
    EXPECT_EQ(saved.pixels, live.pixels);
}

}  // namespace
