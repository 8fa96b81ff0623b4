// How both front ends show the surface: a fixed 640 x 480 picture area in the main window, one to
// one for a 640 x 480 surface, else stretched by dropping or repeating rows and columns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "frame_rows.h"
#include "geometry.h"
#include "surface_view.h"

// The picture area in the main window's client area, in device pixels.
inline constexpr PixelRect PICTURE_AREA{7, 50, 7 + 640, 50 + 480};

// The picture is laid out as a 24-bit bitmap of PICTURE_AREA's size: top-down rows of blue, green,
// red bytes (the surface's own order), each row padded to four bytes. Windows hands such rows to
// the screen as they are; Qt wraps them in an image.
inline constexpr std::size_t PICTURE_STRIDE = PaddedRowBytes(Width(PICTURE_AREA));
inline constexpr std::size_t PICTURE_BYTES =
    PICTURE_STRIDE * static_cast<std::size_t>(Height(PICTURE_AREA));

// The picture's memory, owned by the front end, for a surface that must be stretched first.
using PictureBits = std::span<std::uint8_t, PICTURE_BYTES>;

// The rows to show in the picture area, laid out as such a bitmap: a surface of PICTURE_AREA's size
// itself, since its rows are already those rows and so nothing is copied; any other size stretched
// into picture by dropping or repeating rows and columns. The stretch reads the surface at the
// surface's own size, whatever size the live frame has. An absent surface gives an empty view and
// leaves picture as it was.
SurfaceView PictureToShow(const SurfaceView& surface, PictureBits picture);
