// The viewer's one picture type: 24-bit pixels, rows bottom-up and packed, exactly as a capture
// plug-in delivers a frame, so a frame is copied in as one block with no conversion.
#pragma once

#include <cstdint>
#include <vector>

struct Pixel24 {
    std::uint8_t blue = 0;
    std::uint8_t green = 0;
    std::uint8_t red = 0;

    friend bool operator==(const Pixel24&, const Pixel24&) = default;
};
static_assert(sizeof(Pixel24) == 3, "Pixel24 must be three packed bytes");

// Row 0 is the bottom row of the picture; the pixel at column x of row y is pixels[y * width + x].
// An empty image has no pixels and width = height = 0. Copying duplicates the pixels.
struct FrameImage {
    std::vector<Pixel24> pixels;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// A black image of the given size; a negative width or height gives an empty image.
FrameImage MakeFrameImage(std::int32_t width, std::int32_t height);

// Sets the size and clears every byte to 0, also when the size is unchanged. The storage is reused
// when it is large enough. A negative width or height leaves the image empty.
void ResizeFrameImage(FrameImage& image, std::int32_t width, std::int32_t height);

// Frees the pixel storage and leaves an empty image.
void ReleaseFrameImage(FrameImage& image);

// Byte views of the packed pixel storage (for whole-frame copies from a plug-in).
inline std::uint8_t* FrameBytes(FrameImage& image) {
    return reinterpret_cast<std::uint8_t*>(image.pixels.data());
}
inline const std::uint8_t* FrameBytes(const FrameImage& image) {
    return reinterpret_cast<const std::uint8_t*>(image.pixels.data());
}
