#include "display_surface.h"

#include <cstddef>

#include "frame_rows.h"

namespace {

// Far beyond any capture resolution, so a bogus size from a plug-in cannot ask for gigabytes.
constexpr std::int32_t MAX_SURFACE_SIDE = 16384;
constexpr std::int64_t MAX_SURFACE_PIXELS = std::int64_t{64} * 1024 * 1024;

}  // namespace

bool CreateDisplaySurface(DisplaySurface& surface, std::int32_t width, std::int32_t height) {
    surface = DisplaySurface{};
    if (width <= 0 || height <= 0 || width > MAX_SURFACE_SIDE || height > MAX_SURFACE_SIDE ||
        static_cast<std::int64_t>(width) * height > MAX_SURFACE_PIXELS) {
        return false;
    }
    surface.width = width;
    surface.height = height;
    surface.stride = static_cast<std::int32_t>(PaddedRowBytes(width));
    surface.pixels.assign(
        static_cast<std::size_t>(surface.stride) * static_cast<std::size_t>(height), 0);
    return true;
}

SurfaceView View(const DisplaySurface& surface) {
    return SurfaceView{surface.pixels.empty() ? nullptr : surface.pixels.data(), surface.width,
                       surface.height, surface.stride};
}
