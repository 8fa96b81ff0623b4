// A read-only look at a top-down 24-bit picture (the display surface): what the snapshot and the
// recorder copy from.
#pragma once

#include <cstdint>

struct SurfaceView {
    const std::uint8_t* pixels = nullptr;  // row 0 is the top row; pixel (x, r) at r * stride + 3 * x
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t stride = 0;  // bytes per row, at least 3 * width
};
