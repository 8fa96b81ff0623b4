#include "presentation.h"

#include <array>
#include <cstddef>

#include "stretch.h"

bool RenderPicture(const SurfaceView& surface, std::vector<std::uint32_t>& picture) {
    if (surface.pixels == nullptr || surface.width <= 0 || surface.height <= 0 ||
        surface.stride < 3 * static_cast<std::int64_t>(surface.width)) {
        return false;
    }
    constexpr std::int32_t width = PICTURE_AREA.width;
    constexpr std::int32_t height = PICTURE_AREA.height;
    picture.resize(static_cast<std::size_t>(width) * height);
    std::array<std::size_t, width> columnOffsets;
    for (std::int32_t x = 0; x < width; ++x) {
        columnOffsets[static_cast<std::size_t>(x)] =
            3 * static_cast<std::size_t>(NearestSourceIndex(x, width, surface.width));
    }
    std::uint32_t* out = picture.data();
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint8_t* row = surface.pixels + static_cast<std::size_t>(NearestSourceIndex(
                                                       y, height, surface.height)) *
                                                       static_cast<std::size_t>(surface.stride);
        for (const std::size_t offset : columnOffsets) {
            const std::uint8_t* p = row + offset;
            *out++ = 0xFF000000u | static_cast<std::uint32_t>(p[2]) << 16 |
                     static_cast<std::uint32_t>(p[1]) << 8 | p[0];
        }
    }
    return true;
}
