#include "frame_image.h"

#include <algorithm>
#include <cstddef>

FrameImage MakeFrameImage(std::int32_t width, std::int32_t height) {
    FrameImage image;
    ResizeFrameImage(image, width, height);
    return image;
}

void ResizeFrameImage(FrameImage& image, std::int32_t width, std::int32_t height) {
    if (width < 0 || height < 0) {
        width = 0;
        height = 0;
    }
    image.width = width;
    image.height = height;
    // Cleared as bytes, one memset, rather than pixel by pixel; resize keeps the storage.
    image.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    std::fill_n(FrameBytes(image), image.pixels.size() * sizeof(Pixel24), std::uint8_t{0});
}

void ReleaseFrameImage(FrameImage& image) {
    image.pixels = std::vector<Pixel24>();
    image.width = 0;
    image.height = 0;
}
