// The covered area of a picture written back into the decoded 4:2:0 frame, so that the rest of the
// frame reaches the encoder exactly as it was decoded.
#pragma once

extern "C" {
#include <libavutil/frame.h>
}

#include "display_surface.h"
#include "geometry.h"

// BGR to limited-range YUV in 16-bit fixed point: Y, U and V rows of red, green, blue factors.
struct YuvMatrix {
    int y[3], u[3], v[3];
};
inline constexpr YuvMatrix BT601{
    {16829, 33039, 6416}, {-9714, -19070, 28784}, {28784, -24103, -4681}};
inline constexpr YuvMatrix BT709{
    {11966, 40254, 4064}, {-6596, -22188, 28784}, {28784, -26145, -2639}};

// Writes area of the surface (top-down BGR) into the planar 4:2:0 frame to, of the same size; the
// area is widened to even edges so that every chroma sample it touches is recomputed from its four
// pixels.
void CoverYuv420(const DisplaySurface& surface, PixelRect area, const YuvMatrix& m, AVFrame* to);
