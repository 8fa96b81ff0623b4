// The camera filter's samples: the formats it offers other programs and the conversion of a
// picture (top-down 24-bit rows, as the viewer publishes it) into a sample of one of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "geometry.h"
#include "surface_view.h"

enum class SampleKind {
    Rgb24,  // blue, green, red; rows bottom-up, each padded to four bytes, as bitmaps are
    Yuy2,   // Y0 U Y1 V for each two pixels (BT.601, studio range); rows top-down, packed
};

struct SampleFormat {
    SampleKind kind = SampleKind::Rgb24;
    PixelSize size;

    friend bool operator==(const SampleFormat&, const SampleFormat&) = default;
};

// The size the camera offers while no viewer publishes.
inline constexpr PixelSize IDLE_CAMERA_SIZE{640, 480};

std::size_t SampleStride(const SampleFormat& format);
std::size_t SampleBytes(const SampleFormat& format);

// The formats offered for pictures of size: RGB24 first, the format a capture graph takes without
// a converter, then YUY2, which call programs prefer, when the width is even (two pixels share
// their colour).
std::vector<SampleFormat> OfferedFormats(PixelSize size);

// Writes picture into sample (SampleBytes(format) bytes) at the format's size, taking the nearest
// picture pixel when the sizes differ (the viewer changed its size while a program was connected).
void ConvertPicture(const SurfaceView& picture, const SampleFormat& format,
                    std::span<std::uint8_t> sample);
