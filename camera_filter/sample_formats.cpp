#include "sample_formats.h"

#include <cstring>

namespace {

struct Bgr {
    int blue;
    int green;
    int red;
};

// For each sample column, the byte offset of its picture pixel within a picture row.
std::vector<std::size_t> SourceColumns(std::int32_t pictureWidth, std::int32_t sampleWidth) {
    std::vector<std::size_t> columns(static_cast<std::size_t>(sampleWidth));
    for (std::int32_t x = 0; x < sampleWidth; ++x) {
        columns[static_cast<std::size_t>(x)] =
            3 * static_cast<std::size_t>(std::int64_t{x} * pictureWidth / sampleWidth);
    }
    return columns;
}

// The picture row shown on sample row y (counted from the top).
const std::uint8_t* SourceRow(const SurfaceView& picture, std::int32_t y, std::int32_t height) {
    const std::int64_t row = std::int64_t{y} * picture.height / height;
    return picture.pixels +
           static_cast<std::size_t>(row) * static_cast<std::size_t>(picture.stride);
}

Bgr PixelAt(const std::uint8_t* p) {
    return {p[0], p[1], p[2]};
}

// BT.601 in studio range, in 8-bit fixed point.
std::uint8_t Luma(const Bgr& p) {
    return static_cast<std::uint8_t>(((66 * p.red + 129 * p.green + 25 * p.blue + 128) >> 8) + 16);
}
std::uint8_t BlueDifference(const Bgr& p) {
    return static_cast<std::uint8_t>(((-38 * p.red - 74 * p.green + 112 * p.blue + 128) >> 8) +
                                     128);
}
std::uint8_t RedDifference(const Bgr& p) {
    return static_cast<std::uint8_t>(((112 * p.red - 94 * p.green - 18 * p.blue + 128) >> 8) + 128);
}

}  // namespace

std::size_t SampleStride(const SampleFormat& format) {
    return format.kind == SampleKind::Rgb24 ? PaddedRowBytes(format.size.width)
                                            : 2 * static_cast<std::size_t>(format.size.width);
}

std::size_t SampleBytes(const SampleFormat& format) {
    return SampleStride(format) * static_cast<std::size_t>(format.size.height);
}

std::vector<SampleFormat> OfferedFormats(PixelSize size) {
    std::vector<SampleFormat> formats{{SampleKind::Rgb24, size}};
    if (size.width % 2 == 0) {
        formats.push_back({SampleKind::Yuy2, size});
    }
    return formats;
}

void ConvertPicture(const SurfaceView& picture, const SampleFormat& format,
                    std::span<std::uint8_t> sample) {
    const std::int32_t width = format.size.width;
    const std::int32_t height = format.size.height;
    const std::size_t stride = SampleStride(format);
    const std::vector<std::size_t> columns = SourceColumns(picture.width, width);
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint8_t* source = SourceRow(picture, y, height);
        if (format.kind == SampleKind::Rgb24) {
            std::uint8_t* row = sample.data() + static_cast<std::size_t>(height - 1 - y) * stride;
            for (std::int32_t x = 0; x < width; ++x) {
                std::memcpy(row + 3 * static_cast<std::size_t>(x),
                            source + columns[static_cast<std::size_t>(x)], 3);
            }
            std::memset(row + PackedRowBytes(width), 0, stride - PackedRowBytes(width));
            continue;
        }
        std::uint8_t* row = sample.data() + static_cast<std::size_t>(y) * stride;
        for (std::int32_t x = 0; x + 1 < width; x += 2) {
            const Bgr left = PixelAt(source + columns[static_cast<std::size_t>(x)]);
            const Bgr right = PixelAt(source + columns[static_cast<std::size_t>(x) + 1]);
            const Bgr mean{(left.blue + right.blue + 1) / 2, (left.green + right.green + 1) / 2,
                           (left.red + right.red + 1) / 2};
            std::uint8_t* out = row + 2 * static_cast<std::size_t>(x);
            out[0] = Luma(left);
            out[1] = BlueDifference(mean);
            out[2] = Luma(right);
            out[3] = RedDifference(mean);
        }
    }
}
