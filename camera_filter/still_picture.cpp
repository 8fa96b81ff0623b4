#include "still_picture.h"

#include <algorithm>

#include "emblem.h"

namespace {

constexpr std::uint8_t GROUND[3] = {0x1E, 0x17, 0x14};  // blue, green, red: a dark blue-grey
// The badge spans this share of the picture's shorter side.
constexpr double BADGE_SHARE = 0.6;
// Samples a pixel along each axis: the picture is drawn on the streaming thread while the calling
// program waits for its first frame, so the edge is blended from four samples, not the icon's 36.
constexpr int BADGE_GRID = 2;

}  // namespace

std::vector<std::uint8_t> DrawStillPicture(PixelSize size) {
    const std::size_t rowBytes = 3 * static_cast<std::size_t>(size.width);
    std::vector<std::uint8_t> pixels(rowBytes * static_cast<std::size_t>(size.height));
    for (std::size_t i = 0; i < pixels.size(); i += 3) {
        std::copy(GROUND, GROUND + 3, pixels.begin() + static_cast<std::ptrdiff_t>(i));
    }
    const auto side = static_cast<std::int32_t>(BADGE_SHARE * std::min(size.width, size.height));
    if (side <= 0) {
        return pixels;
    }
    const std::vector<std::uint8_t> badge = DrawEmblemIcon(side, BADGE_GRID);
    const std::int32_t left = (size.width - side) / 2;
    const std::int32_t top = (size.height - side) / 2;
    for (std::int32_t y = 0; y < side; ++y) {
        for (std::int32_t x = 0; x < side; ++x) {
            const std::uint8_t* rgba = &badge[(static_cast<std::size_t>(y) * side + x) * 4];
            std::uint8_t* out = &pixels[static_cast<std::size_t>(top + y) * rowBytes +
                                        3 * static_cast<std::size_t>(left + x)];
            for (int channel = 0; channel < 3; ++channel) {
                // Output blue, green, red from the badge's red, green, blue, over the ground.
                const int over = rgba[2 - channel];
                out[channel] = static_cast<std::uint8_t>(
                    (over * rgba[3] + out[channel] * (255 - rgba[3]) + 127) / 255);
            }
        }
    }
    return pixels;
}
