// How both front ends show the surface: a fixed 640 x 480 picture area in the main window, one to
// one for a 640 x 480 surface, else stretched by dropping or repeating rows and columns.
#pragma once

#include <cstdint>
#include <vector>

#include "surface_view.h"

// The picture area in the main window's client area, in device pixels.
struct PictureArea {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};
inline constexpr PictureArea PICTURE_AREA{7, 50, 640, 480};

// Fills picture with the surface stretched to PICTURE_AREA's size: top-down rows, one 32-bit word
// 0xFFRRGGBB per pixel, the layout of a 32-bit RGB screen image on both platforms. The stretch
// reads the surface at the surface's own size, whatever size the live frame has. The storage is
// reused from call to call. Returns false, leaving picture as it was, when the surface is absent.
bool RenderPicture(const SurfaceView& surface, std::vector<std::uint32_t>& picture);
