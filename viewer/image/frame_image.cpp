#include "frame_image.h"

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
    image.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), Pixel24{});
}

void ReleaseFrameImage(FrameImage& image) {
    image.pixels = std::vector<Pixel24>();
    image.width = 0;
    image.height = 0;
}
