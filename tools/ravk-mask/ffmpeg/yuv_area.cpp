#include "yuv_area.h"

#include <algorithm>
#include <cstdint>

namespace {

std::uint8_t Channel(const int* k, int red, int green, int blue, int offset) {
    return static_cast<std::uint8_t>(((k[0] * red + k[1] * green + k[2] * blue + 32768) >> 16) +
                                     offset);
}

}  // namespace

void CoverYuv420(const DisplaySurface& surface, PixelRect area, const YuvMatrix& m, AVFrame* to) {
    area.left &= ~1;
    area.top &= ~1;
    area.right = std::min(surface.width & ~1, (area.right + 1) & ~1);
    area.bottom = std::min(surface.height & ~1, (area.bottom + 1) & ~1);
    for (std::int32_t y = area.top; y < area.bottom; y += 2) {
        const std::uint8_t* rows[2] = {
            &surface.pixels[static_cast<std::size_t>(y) * surface.stride],
            &surface.pixels[static_cast<std::size_t>(y + 1) * surface.stride]};
        std::uint8_t* luma[2] = {to->data[0] + y * to->linesize[0],
                                 to->data[0] + (y + 1) * to->linesize[0]};
        std::uint8_t* u = to->data[1] + (y / 2) * to->linesize[1];
        std::uint8_t* v = to->data[2] + (y / 2) * to->linesize[2];
        for (std::int32_t x = area.left; x < area.right; x += 2) {
            int red = 0, green = 0, blue = 0;
            for (int dy = 0; dy < 2; ++dy) {
                for (int dx = 0; dx < 2; ++dx) {
                    const std::uint8_t* p = rows[dy] + 3 * (x + dx);
                    luma[dy][x + dx] = Channel(m.y, p[2], p[1], p[0], 16);
                    blue += p[0];
                    green += p[1];
                    red += p[2];
                }
            }
            u[x / 2] = Channel(m.u, red / 4, green / 4, blue / 4, 128);
            v[x / 2] = Channel(m.v, red / 4, green / 4, blue / 4, 128);
        }
    }
}
