// A read-only look at a top-down 24-bit picture (the display surface): what the snapshot and the
// recorder copy from.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame_rows.h"

struct SurfaceView {
    // Row 0 is the top row; pixel (x, r) starts at byte r * stride + 3 * x.
    const std::uint8_t* pixels = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t stride = 0;  // bytes per row, at least 3 * width
};

// Whether the view has pixels and rows as long as its width; every copy out of it asks first.
inline bool HasRows(const SurfaceView& view) {
    return view.pixels != nullptr && view.width > 0 && view.height > 0 && view.stride >= 0 &&
           static_cast<std::size_t>(view.stride) >= PackedRowBytes(view.width);
}
