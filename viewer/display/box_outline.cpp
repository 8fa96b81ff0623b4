#include "box_outline.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "frame_image.h"

namespace {

constexpr Pixel24 OUTLINE_COLOR{0, 0, 255};

// Fills columns x0 .. x1 of rows y0 .. y1 (inclusive), clipped. 64-bit bounds so box edges at the
// ends of the 32-bit range cannot overflow.
void FillClipped(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1,
                 DisplaySurface& surface) {
    x0 = std::max<std::int64_t>(x0, 0);
    y0 = std::max<std::int64_t>(y0, 0);
    x1 = std::min<std::int64_t>(x1, surface.width - 1);
    y1 = std::min<std::int64_t>(y1, surface.height - 1);
    for (std::int64_t y = y0; y <= y1; ++y) {
        std::uint8_t* row = surface.pixels.data() + static_cast<std::size_t>(y * surface.stride);
        for (std::int64_t x = x0; x <= x1; ++x) {
            std::memcpy(row + 3 * x, &OUTLINE_COLOR, 3);
        }
    }
}

}  // namespace

void DrawBoxOutline(const RegionBox& box, DisplaySurface& surface) {
    if (surface.pixels.empty()) {
        return;
    }
    const std::int64_t left = box.left;
    const std::int64_t top = box.top;
    const std::int64_t right = box.right;
    const std::int64_t bottom = box.bottom;
    FillClipped(left - 1, top - 1, right, top, surface);
    FillClipped(left - 1, bottom - 1, right, bottom, surface);
    FillClipped(left - 1, top - 1, left, bottom, surface);
    FillClipped(right - 1, top - 1, right, bottom, surface);
}
