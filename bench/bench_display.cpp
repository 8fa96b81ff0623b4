// The composition of one paint. Targets (reported as ratios, never enforced): a whole PaintPreview
// at 640 x 480 with mask, overlay and box on over one face-sized region under 2 ms, analysis
// included; the overlay drawn into a 200 x 200 box under 0.2 ms; each cover style over a
// 300 x 300 box under 0.3 ms. Each also runs at 1280 x 720 and 1920 x 1080 with the boxes grown
// in proportion to the frame's height, to show how the cost grows (no target there).
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <utility>

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

// The frame size of a run (its last two arguments), and whether it is the one the targets are for.
struct BenchSize {
    std::int32_t width, height;
    bool targeted() const { return width == 640 && height == 480; }
    // A length at 640 x 480 grown with the frame's height.
    std::int32_t Scaled(std::int32_t length) const { return length * height / 480; }
};

BenchSize SizeOf(const benchmark::State& state, int first) {
    return {static_cast<std::int32_t>(state.range(first)),
            static_cast<std::int32_t>(state.range(first + 1))};
}

void ReportTarget(benchmark::State& state, BenchSize size, double seconds, double target) {
    if (size.targeted()) {
        state.counters["x_target"] = seconds / target;
        char label[48];
        std::snprintf(label, sizeof label, "target ms/iter <= %.2g, x_target <= 1", target * 1e3);
        state.SetLabel(label);
    } else {
        state.SetLabel("scaling, no target");
    }
}

void PaintWithMaskOverlayAndBox(benchmark::State& state) {
    const BenchSize size = SizeOf(state, 0);
    const FrameImage live = MakeFewRegionsFrame(size.width, size.height);
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
    CreateDisplaySurface(surface, size.width, size.height);
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
                             .captureWidth = size.width,
                             .captureHeight = size.height,
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
    ReportTarget(state, size, seconds, PAINT_TARGET_SECONDS);
}

// A square box of side `side` (at 640 x 480) grown with the frame, centred in it.
RegionBox CentredBox(BenchSize size, std::int32_t side) {
    const std::int32_t s = size.Scaled(side);
    const std::int32_t left = (size.width - s) / 2, top = (size.height - s) / 2;
    return {left, top, left + s, top + s};
}

// Each draw takes the next of 69 sprites, as the animation does, so the sprite's bytes come from
// far caches as they do in the viewer.
void DrawOverlayInto200Box(benchmark::State& state) {
    const BenchSize size = SizeOf(state, 0);
    OverlayTable overlays;
    for (OverlaySprite& sprite : overlays) {
        sprite = BadgeSprite(256);
    }
    DisplaySurface surface;
    CreateDisplaySurface(surface, size.width, size.height);
    const RegionBox box = CentredBox(size, 200);
    std::size_t shown = 0;
    const auto draw = [&] {
        shown = (shown + 1) % overlays.size();
        DrawOverlaySprite({0, 0, 256, 256}, box, overlays[shown], surface);
        benchmark::DoNotOptimize(surface.pixels.data());
    };
    const double seconds = SecondsPerCall(draw);
    for (auto _ : state) {
        draw();
    }
    ReportTarget(state, size, seconds, OVERLAY_TARGET_SECONDS);
}

// Each style over a 300 x 300 box of a camera-like picture; the argument is the CoverStyle.
void CoverA300Box(benchmark::State& state) {
    const auto style = static_cast<CoverStyle>(state.range(0));
    const BenchSize size = SizeOf(state, 1);
    const OverlaySprite sprite = BadgeSprite(256);
    const FrameImage frame = MakeFewRegionsFrame(size.width, size.height);
    DisplaySurface surface;
    CreateDisplaySurface(surface, size.width, size.height);
    for (std::int32_t r = 0; r < size.height; ++r) {
        std::memcpy(&surface.pixels[static_cast<std::size_t>(r * surface.stride)],
                    &frame.pixels[static_cast<std::size_t>(r * size.width)],
                    static_cast<std::size_t>(size.width) * 3);
    }
    CoverScratch scratch;
    const RegionBox box = CentredBox(size, 300);
    const auto cover = [&] {
        DrawCover(box, style, sprite, surface, scratch);
        benchmark::DoNotOptimize(surface.pixels.data());
    };
    const double seconds = SecondsPerCall(cover);
    for (auto _ : state) {
        cover();
    }
    ReportTarget(state, size, seconds, COVER_TARGET_SECONDS);
}

void FrameSizes(benchmark::internal::Benchmark* benchmark) {
    benchmark->ArgNames({"width", "height"});
    for (const auto& [width, height] : {std::pair{640, 480}, {1280, 720}, {1920, 1080}}) {
        benchmark->Args({width, height});
    }
}

void StylesAndFrameSizes(benchmark::internal::Benchmark* benchmark) {
    benchmark->ArgNames({"style", "width", "height"});
    for (const CoverStyle style : {CoverStyle::Overlay, CoverStyle::Pixelate, CoverStyle::Blur}) {
        for (const auto& [width, height] :
             {std::pair{640, 480}, {1280, 720}, {1920, 1080}}) {
            benchmark->Args({static_cast<int>(style), width, height});
        }
    }
}

}  // namespace

BENCHMARK(PaintWithMaskOverlayAndBox)->Apply(FrameSizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(DrawOverlayInto200Box)->Apply(FrameSizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(CoverA300Box)->Apply(StylesAndFrameSizes)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
