// The composed picture: what the window shows, the snapshot saves and the recorder records.
#pragma once

#include <cstdint>
#include <vector>

#include "surface_view.h"

// Top-down 24-bit pixels in Pixel24 byte order (blue, green, red); pixel (x, r) starts at byte
// r * stride + 3 * x, and stride is 3 * width rounded up to a multiple of 4. A surface that was
// never created (or whose creation failed) has no pixels and width = height = stride = 0; nothing
// is drawn into it or shown from it.
struct DisplaySurface {
    std::vector<std::uint8_t> pixels;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t stride = 0;
};

// Replaces the surface by a black one of the given size. Sizes come from the capture plug-in, so a
// size that is not positive or is beyond any camera leaves the surface absent and returns false.
// The recorder copies out of the surface from its own thread: the caller holds frameLock across the
// call, so a replacement never overlaps such a copy.
bool CreateDisplaySurface(DisplaySurface& surface, std::int32_t width, std::int32_t height);

// The read-only view the snapshot and the recorder copy from.
SurfaceView View(const DisplaySurface& surface);
