#include "bmp_decode.h"

#include <cstddef>
#include <cstring>
#include <fstream>

// The decoder is compiled here alone, its functions kept private to this file, for BMP only and
// with no file access of its own: files are read and checked below first.
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_MAX_DIMENSIONS 8192
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

namespace {

constexpr std::int64_t MAX_SIDE = STBI_MAX_DIMENSIONS;
constexpr std::int64_t MAX_PIXELS = std::int64_t{16} * 1024 * 1024;
// Headers, a full palette and 16 Mpixels at 32 bits, with room for trailing bytes.
constexpr std::int64_t MAX_FILE_BYTES = std::int64_t{128} * 1024 * 1024;

constexpr std::int64_t FILE_HEADER_SIZE = 14;
constexpr std::int64_t CORE_HEADER_SIZE = 12;  // the old header with 16-bit sizes
constexpr std::int64_t INFO_HEADER_SIZE = 40;
constexpr std::int64_t LARGEST_INFO_HEADER_SIZE = 124;

std::uint32_t Le16(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8;
}

std::uint32_t Le32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return Le16(bytes, at) | Le16(bytes, at + 2) << 16;
}

std::int64_t LeInt32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    const std::uint32_t bits = Le32(bytes, at);
    std::int32_t value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

bool ReadWholeFile(const std::string& fileName, std::vector<std::uint8_t>& bytes) {
    std::ifstream in(fileName, std::ios::binary | std::ios::ate);
    if (!in) {
        return false;
    }
    const std::streamoff size = in.tellg();
    if (size <= 0 || size > MAX_FILE_BYTES) {
        return false;
    }
    bytes.resize(static_cast<std::size_t>(size));
    in.seekg(0);
    return static_cast<bool>(in.read(reinterpret_cast<char*>(bytes.data()), size));
}

// The decoder reads zeros past the end of its input instead of failing, so a cut-off file is
// recognised here: the headers and every pixel row the headers promise must lie inside the file.
// Also refuses sizes beyond the limits before the decoder allocates anything.
bool HeadersFitTheFile(const std::vector<std::uint8_t>& bytes) {
    const std::int64_t fileSize = static_cast<std::int64_t>(bytes.size());
    if (fileSize < FILE_HEADER_SIZE + 4 || bytes[0] != 'B' || bytes[1] != 'M') {
        return false;
    }
    const std::int64_t headerSize = Le32(bytes, 14);
    if (headerSize != CORE_HEADER_SIZE &&
        (headerSize < INFO_HEADER_SIZE || headerSize > LARGEST_INFO_HEADER_SIZE)) {
        return false;
    }
    if (fileSize < FILE_HEADER_SIZE + headerSize) {
        return false;
    }
    const bool core = headerSize == CORE_HEADER_SIZE;
    const std::int64_t width = core ? Le16(bytes, 18) : LeInt32(bytes, 18);
    const std::int64_t signedHeight = core ? Le16(bytes, 20) : LeInt32(bytes, 22);
    const std::int64_t height = signedHeight < 0 ? -signedHeight : signedHeight;
    const std::int64_t bitsPerPixel = Le16(bytes, core ? 24 : 28);
    if (width <= 0 || height <= 0 || width > MAX_SIDE || height > MAX_SIDE ||
        width * height > MAX_PIXELS) {
        return false;
    }
    if (bitsPerPixel != 1 && bitsPerPixel != 4 && bitsPerPixel != 8 && bitsPerPixel != 16 &&
        bitsPerPixel != 24 && bitsPerPixel != 32) {
        return false;
    }
    const std::int64_t rowBytes = (width * bitsPerPixel + 31) / 32 * 4;
    const std::int64_t pixelOffset = Le32(bytes, 10);
    return pixelOffset + rowBytes * height <= fileSize;
}

}  // namespace

bool DecodeBmpFile(const std::string& fileName, DecodedImage& image) {
    image = DecodedImage{};
    std::vector<std::uint8_t> bytes;
    if (!ReadWholeFile(fileName, bytes) || !HeadersFitTheFile(bytes)) {
        return false;
    }
    int width = 0;
    int height = 0;
    int channels = 0;
    stbi_uc* rgb = stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width,
                                         &height, &channels, 3);
    if (rgb == nullptr) {
        return false;
    }
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    const stbi_uc* in = rgb;
    for (Pixel24& p : image.pixels) {
        p = Pixel24{in[2], in[1], in[0]};
        in += 3;
    }
    stbi_image_free(rgb);
    return true;
}
