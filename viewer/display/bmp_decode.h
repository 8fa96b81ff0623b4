// Reading BMP files of every common layout (1, 4 and 8-bit palettes, 16, 24 and 32 bits,
// bottom-up or top-down) for the overlay sprites. Files are untrusted: anything cut off, of
// absurd size or not a BMP is refused before any large allocation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frame_image.h"

// A decoded picture with rows top-down: pixel (x, r) is pixels[r * width + x].
struct DecodedImage {
    std::vector<Pixel24> pixels;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// Returns false and leaves image empty when the file is missing, unreadable, cut off, not a BMP,
// in a layout the decoder does not know, or larger than 8192 pixels a side or 16 Mpixels.
bool DecodeBmpFile(const std::string& fileName, DecodedImage& image);
