// A test surface and a test clock for recording tests.
#pragma once

#include <cstdint>
#include <vector>

#include "recorder.h"
#include "surface_view.h"

// A top-down surface: blue rises across, green rises down, red is the tag. Smooth, so lossy
// encoders keep it close, and a flipped picture differs everywhere but the middle.
struct TestSurface {
    std::int32_t width, height, stride;
    std::vector<std::uint8_t> pixels;

    TestSurface(std::int32_t w, std::int32_t h, std::uint8_t tag)
        : width(w), height(h), stride((3 * w + 7) / 8 * 8), pixels(stride * h, 0) {
        for (std::int32_t r = 0; r < h; ++r) {
            for (std::int32_t x = 0; x < w; ++x) {
                std::uint8_t* p = &pixels[r * stride + 3 * x];
                p[0] = static_cast<std::uint8_t>(x * 255 / (w - 1));
                p[1] = static_cast<std::uint8_t>(r * 255 / (h - 1));
                p[2] = tag;
            }
        }
    }
    SurfaceView View() const { return {pixels.data(), width, height, stride}; }

    // Pixel (x, r), counting rows from the top.
    const std::uint8_t* At(std::int32_t x, std::int32_t r) const {
        return &pixels[r * stride + 3 * x];
    }
    // The picture as a reader shows it: top row first, rows of 3 * width bytes.
    std::vector<std::uint8_t> Upright() const {
        std::vector<std::uint8_t> picture;
        for (std::int32_t r = 0; r < height; ++r) {
            picture.insert(picture.end(), At(0, r), At(0, r) + 3 * width);
        }
        return picture;
    }
};

// Time moves only when the recorder yields, one millisecond at a time.
struct ManualClock {
    std::uint32_t ticks = 1000;
    RecorderClock Clock() {
        return {[this] { return ticks; }, [this] { ++ticks; }};
    }
};
