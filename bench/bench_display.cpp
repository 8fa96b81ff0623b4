// The composition of one paint. Targets (reported as ratios, never enforced): a whole PaintPreview
// at 640 x 480 with mask, overlay and box on over one face-sized region under 2 ms, analysis
// included; the overlay drawn into a 200 x 200 box under 0.2 ms; each cover style over a
// 300 x 300 box under 0.3 ms.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <mutex>

#include "bench_frames.h"
#include "display_surface.h"
#include "face_cover.h"
#include "overlay_sprite.h"
#include "paint_preview.h"
#include "skin_locator.h"

namespace {

constexpr double PAINT_TARGET_SECONDS = 2e-3;
constexpr double OVERLAY_TARGET_SECONDS = 0.2e-3;
constexpr double COVER_TARGET_SECONDS = 0.3e-3;

// A round badge like the real overlay frames: opaque inside the circle, transparent corners.
OverlaySprite BadgeSprite(std::int32_t size) {
    OverlaySprite sprite{size, size, {}, {}};
    for (std::int32_t r = 0; r < size; ++r) {
        for (std::int32_t x = 0; x < size; ++x) {
            const std::int32_t dx = 2 * x + 1 - size;
            const std::int32_t dy = 2 * r + 1 - size;
            const bool outside = dx * dx + dy * dy > size * size;
            sprite.mask.push_back(outside ? 1 : 0);
            sprite.pixels.push_back(
                outside ? Pixel24{}
                        : Pixel24{static_cast<std::uint8_t>(x), 90, static_cast<std::uint8_t>(r)});
        }
    }
    return sprite;
}

void PaintWithMaskOverlayAndBox(benchmark::State& state) {
    const FrameImage live = MakeFewRegionsFrame(640, 480);
    OverlayTable overlays;
    for (OverlaySprite& sprite : overlays) {
        sprite = BadgeSprite(256);
    }
    const SkinColorRange range;
    PaintControls controls;
    controls.options.maskEnabled = true;
    controls.overlayEnabled = true;
    controls.boxEnabled = true;
    DisplaySurface surface;
    CreateDisplaySurface(surface, 640, 480);
    std::mutex frameLock;
    PaintState paintState;
    const std::function<void(const SurfaceView&)> present = [](const SurfaceView& view) {
        benchmark::DoNotOptimize(view.pixels);
    };
    std::uint32_t tick = 0;
    SkinLocator locator(range, nullptr);
    const auto paint = [&] {
        tick += 20;
        const PaintInputs in{.controls = controls,
                             .live = live,
                             .captureWidth = 640,
                             .captureHeight = 480,
                             .locator = locator,
                             .overlays = overlays,
                             .cover = {},
                             .tick = tick,
                             .recording = false};
        benchmark::DoNotOptimize(PaintPreview(in, paintState, surface, frameLock, present));
    };
    const double seconds = SecondsPerCall(paint);
    for (auto _ : state) {
        paint();
    }
    state.counters["boxes"] = static_cast<double>(paintState.boxes.size());
    state.counters["x_target"] = seconds / PAINT_TARGET_SECONDS;
}

void DrawOverlayInto200Box(benchmark::State& state) {
    const OverlaySprite sprite = BadgeSprite(256);
    DisplaySurface surface;
    CreateDisplaySurface(surface, 640, 480);
    const auto draw = [&] {
        DrawOverlaySprite({0, 0, 256, 256}, {220, 140, 420, 340}, sprite, surface);
        benchmark::DoNotOptimize(surface.pixels.data());
    };
    const double seconds = SecondsPerCall(draw);
    for (auto _ : state) {
        draw();
    }
    state.counters["x_target"] = seconds / OVERLAY_TARGET_SECONDS;
}

// Each style over a 300 x 300 box of a camera-like picture; the argument is the CoverStyle.
void CoverA300Box(benchmark::State& state) {
    const auto style = static_cast<CoverStyle>(state.range(0));
    const OverlaySprite sprite = BadgeSprite(256);
    const FrameImage frame = MakeFewRegionsFrame(640, 480);
    DisplaySurface surface;
    CreateDisplaySurface(surface, 640, 480);
    for (std::int32_t r = 0; r < 480; ++r) {
        std::memcpy(&surface.pixels[static_cast<std::size_t>(r * surface.stride)],
                    &frame.pixels[static_cast<std::size_t>(r * 640)], 640 * 3);
    }
    CoverScratch scratch;
    const RegionBox box{170, 90, 470, 390};
    const auto cover = [&] {
        DrawCover(box, style, sprite, surface, scratch);
        benchmark::DoNotOptimize(surface.pixels.data());
    };
    const double seconds = SecondsPerCall(cover);
    for (auto _ : state) {
        cover();
    }
    state.counters["x_target"] = seconds / COVER_TARGET_SECONDS;
}

}  // namespace

BENCHMARK(PaintWithMaskOverlayAndBox)->Unit(benchmark::kMicrosecond);
BENCHMARK(DrawOverlayInto200Box)->Unit(benchmark::kMicrosecond);
BENCHMARK(CoverA300Box)
    ->ArgName("style")
    ->Arg(static_cast<int>(CoverStyle::Overlay))
    ->Arg(static_cast<int>(CoverStyle::Pixelate))
    ->Arg(static_cast<int>(CoverStyle::Blur))
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
