#include "presentation.h"

#include <array>
#include <cstring>

#include "stretch.h"

SurfaceView PictureToShow(const SurfaceView& surface, PictureBits picture) {
    if (!HasRows(surface)) {
        return {};
    }
    constexpr std::int32_t width = Width(PICTURE_AREA);
    constexpr std::int32_t height = Height(PICTURE_AREA);
    const SurfaceView shown{picture.data(), width, height,
                            static_cast<std::int32_t>(PICTURE_STRIDE)};
    if (surface.width == width && surface.height == height &&
        static_cast<std::size_t>(surface.stride) == PICTURE_STRIDE) {
        return surface;
    }
    constexpr std::size_t rowBytes = PackedRowBytes(width);
    const auto surfaceStride = static_cast<std::size_t>(surface.stride);
    std::array<std::size_t, width> columnOffsets;
    for (std::int32_t x = 0; x < width; ++x) {
        columnOffsets[static_cast<std::size_t>(x)] =
            3 * static_cast<std::size_t>(NearestSourceIndex(x, width, surface.width));
    }
    std::int32_t previousRow = -1;
    for (std::int32_t y = 0; y < height; ++y) {
        std::uint8_t* out = picture.data() + static_cast<std::size_t>(y) * PICTURE_STRIDE;
        const std::int32_t sourceRow = NearestSourceIndex(y, height, surface.height);
        if (sourceRow == previousRow) {
            std::memcpy(out, out - PICTURE_STRIDE, rowBytes);
            continue;
        }
        previousRow = sourceRow;
        const std::uint8_t* row =
            surface.pixels + static_cast<std::size_t>(sourceRow) * surfaceStride;
        for (const std::size_t offset : columnOffsets) {
            std::memcpy(out, row + offset, 3);
            out += 3;
        }
    }
    return shown;
}
