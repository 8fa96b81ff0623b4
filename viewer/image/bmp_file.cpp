#include "bmp_file.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr std::int64_t FILE_HEADER_SIZE = 14;
constexpr std::int64_t INFO_HEADER_SIZE = 40;
constexpr std::int64_t HEADER_SIZE = FILE_HEADER_SIZE + INFO_HEADER_SIZE;
// The V4 and V5 information headers extend the 40-byte one; the fields read here are the same.
constexpr std::int64_t LARGEST_INFO_HEADER_SIZE = 124;

// Far beyond any capture resolution; keeps a hostile header from asking for gigabytes.
constexpr std::int64_t MAX_BMP_SIDE = 32768;
constexpr std::int64_t MAX_BMP_PIXELS = std::int64_t{64} * 1024 * 1024;

// Bytes of one stored row: 3 per pixel, padded to a multiple of 4.
std::int64_t PaddedRowBytes(std::int64_t width) {
    return (3 * width + 3) / 4 * 4;
}

void PutLe16(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void PutLe32(std::uint8_t* at, std::uint32_t value) {
    PutLe16(at, value & 0xFFFFu);
    PutLe16(at + 2, value >> 16);
}

std::uint32_t GetLe16(const std::uint8_t* at) {
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8;
}

std::uint32_t GetLe32(const std::uint8_t* at) {
    return GetLe16(at) | GetLe16(at + 2) << 16;
}

std::int32_t GetLeInt32(const std::uint8_t* at) {
    const std::uint32_t bits = GetLe32(at);
    std::int32_t value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

bool WritePixelRows(std::FILE* file, const FrameImage& image) {
    const std::size_t rowBytes = 3 * static_cast<std::size_t>(image.width);
    const std::uint8_t padding[3] = {0, 0, 0};
    const std::size_t paddingBytes =
        static_cast<std::size_t>(PaddedRowBytes(image.width)) - rowBytes;
    const std::uint8_t* row = FrameBytes(image);
    for (std::int32_t y = 0; y < image.height; ++y, row += rowBytes) {
        if (std::fwrite(row, 1, rowBytes, file) != rowBytes ||
            std::fwrite(padding, 1, paddingBytes, file) != paddingBytes) {
            return false;
        }
    }
    return true;
}

std::string OpenError(const std::string& fileName) {
    return "cannot open " + fileName + ": " + std::strerror(errno);
}

// The size of an open file, or -1 when the system cannot tell.
std::int64_t FileSize(std::FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0) {
        return -1;
    }
    const long size = std::ftell(file);
    if (size < 0 || std::fseek(file, 0, SEEK_SET) != 0) {
        return -1;
    }
    return size;
}

struct BmpLayout {
    std::int32_t width = 0;
    std::int32_t height = 0;  // always positive here
    bool topDown = false;
    std::int64_t pixelOffset = 0;
};

// Checks the headers against the file size; on success the pixel rows lie inside the file.
bool ParseBmpHeaders(const std::uint8_t* header, std::int64_t fileSize, BmpLayout& layout,
                     std::string& reason) {
    if (fileSize < 2 || header[0] != 'B' || header[1] != 'M') {
        reason = "not a BMP file";
        return false;
    }
    if (fileSize < FILE_HEADER_SIZE + 4) {
        reason = "truncated BMP file: header is cut off at byte " + std::to_string(fileSize);
        return false;
    }
    const std::int64_t infoSize = GetLe32(header + 14);
    if (infoSize != INFO_HEADER_SIZE && infoSize != 108 && infoSize != LARGEST_INFO_HEADER_SIZE) {
        reason = "unsupported BMP: information header of " + std::to_string(infoSize) +
                 " bytes (only 40, 108 or 124)";
        return false;
    }
    if (fileSize < FILE_HEADER_SIZE + infoSize) {
        reason = "truncated BMP file: header is cut off at byte " + std::to_string(fileSize);
        return false;
    }
    const std::int64_t width = GetLeInt32(header + 18);
    const std::int64_t height = GetLeInt32(header + 22);
    const std::uint32_t planes = GetLe16(header + 26);
    const std::uint32_t bitCount = GetLe16(header + 28);
    const std::uint32_t compression = GetLe32(header + 30);
    if (planes != 1) {
        reason = "invalid BMP: " + std::to_string(planes) + " planes (must be 1)";
        return false;
    }
    if (bitCount != 24) {
        reason = "unsupported BMP: " + std::to_string(bitCount) +
                 " bits per pixel (only 24-bit uncompressed)";
        return false;
    }
    if (compression != 0) {
        reason = "unsupported BMP: compression method " + std::to_string(compression) +
                 " (only 24-bit uncompressed)";
        return false;
    }
    const std::int64_t rows = height < 0 ? -height : height;
    if (width <= 0 || height == 0) {
        reason = "invalid BMP dimensions " + std::to_string(width) + " x " + std::to_string(height);
        return false;
    }
    if (width > MAX_BMP_SIDE || rows > MAX_BMP_SIDE || width * rows > MAX_BMP_PIXELS) {
        reason = "BMP dimensions " + std::to_string(width) + " x " + std::to_string(rows) +
                 " too large (at most " + std::to_string(MAX_BMP_SIDE) + " per side and " +
                 std::to_string(MAX_BMP_PIXELS) + " pixels)";
        return false;
    }
    const std::int64_t pixelOffset = GetLe32(header + 10);
    if (pixelOffset < FILE_HEADER_SIZE + infoSize) {
        reason = "invalid BMP: pixel data offset " + std::to_string(pixelOffset) +
                 " lies inside the header";
        return false;
    }
    const std::int64_t pixelEnd = pixelOffset + rows * PaddedRowBytes(width);
    if (pixelEnd > fileSize) {
        reason = "truncated BMP file: pixel data ends at byte " + std::to_string(pixelEnd) +
                 ", file has " + std::to_string(fileSize);
        return false;
    }
    layout.width = static_cast<std::int32_t>(width);
    layout.height = static_cast<std::int32_t>(rows);
    layout.topDown = height < 0;
    layout.pixelOffset = pixelOffset;
    return true;
}

bool ReadPixelRows(std::FILE* file, const BmpLayout& layout, FrameImage& image) {
    if (std::fseek(file, static_cast<long>(layout.pixelOffset), SEEK_SET) != 0) {
        return false;
    }
    ResizeFrameImage(image, layout.width, layout.height);
    const std::size_t rowBytes = 3 * static_cast<std::size_t>(layout.width);
    std::vector<std::uint8_t> fileRow(static_cast<std::size_t>(PaddedRowBytes(layout.width)));
    for (std::int32_t i = 0; i < layout.height; ++i) {
        if (std::fread(fileRow.data(), 1, fileRow.size(), file) != fileRow.size()) {
            return false;
        }
        const std::int32_t y = layout.topDown ? layout.height - 1 - i : i;
        std::memcpy(FrameBytes(image) + static_cast<std::size_t>(y) * rowBytes, fileRow.data(),
                    rowBytes);
    }
    return true;
}

}  // namespace

bool WriteBmpFile(const std::string& fileName, const FrameImage& image) {
    const std::int64_t width = image.width;
    const std::int64_t height = image.height;
    const std::int64_t fileSize = HEADER_SIZE + height * PaddedRowBytes(width);
    // A broken image is refused before the file is opened, so no half-written file is left.
    if (width < 0 || height < 0 || fileSize > UINT32_MAX ||
        image.pixels.size() != static_cast<std::uint64_t>(width * height)) {
        return false;
    }

    std::uint8_t header[HEADER_SIZE] = {};
    header[0] = 'B';
    header[1] = 'M';
    PutLe32(header + 2, static_cast<std::uint32_t>(fileSize));
    PutLe32(header + 10, static_cast<std::uint32_t>(HEADER_SIZE));
    PutLe32(header + 14, static_cast<std::uint32_t>(INFO_HEADER_SIZE));
    PutLe32(header + 18, static_cast<std::uint32_t>(width));
    PutLe32(header + 22, static_cast<std::uint32_t>(height));
    PutLe16(header + 26, 1);
    PutLe16(header + 28, 24);
    // Compression, image size, resolution and colour counts stay 0.

    std::FILE* file = std::fopen(fileName.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written =
        std::fwrite(header, 1, sizeof header, file) == sizeof header && WritePixelRows(file, image);
    // Closing flushes the buffer, so a full disk often shows only here.
    const bool closed = std::fclose(file) == 0;
    return written && closed;
}

bool ReadBmpFile(const std::string& fileName, FrameImage& image, std::string& error) {
    ReleaseFrameImage(image);
    std::FILE* file = std::fopen(fileName.c_str(), "rb");
    if (file == nullptr) {
        error = OpenError(fileName);
        return false;
    }
    std::uint8_t header[FILE_HEADER_SIZE + LARGEST_INFO_HEADER_SIZE] = {};
    const std::int64_t fileSize = FileSize(file);
    BmpLayout layout;
    std::string reason;
    bool ok = false;
    if (fileSize < 0) {
        reason = "cannot determine the file size";
    } else {
        const std::size_t headerBytes =
            static_cast<std::size_t>(std::min<std::int64_t>(fileSize, sizeof header));
        if (std::fread(header, 1, headerBytes, file) != headerBytes) {
            reason = "read error";
        } else if (ParseBmpHeaders(header, fileSize, layout, reason)) {
            ok = ReadPixelRows(file, layout, image);
            if (!ok) {
                reason = "read error in the pixel data";
            }
        }
    }
    std::fclose(file);
    if (!ok) {
        ReleaseFrameImage(image);
        error = fileName + ": " + reason;
    }
    return ok;
}
