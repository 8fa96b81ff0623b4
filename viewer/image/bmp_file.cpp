#include "bmp_file.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <utility>

#include "frame_rows.h"
#include "pending_file.h"
#include "regular_file.h"

// The decoder is compiled here alone, its functions kept private to this file, for BMP only and
// reading through the callbacks below: files are opened and checked here first.
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_MAX_DIMENSIONS MAX_BMP_SIDE
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

namespace {

constexpr std::int64_t FILE_HEADER_SIZE = 14;
constexpr std::int64_t CORE_HEADER_SIZE = 12;  // the old header with 16-bit sizes
constexpr std::int64_t INFO_HEADER_SIZE = 40;
constexpr std::int64_t HEADER_SIZE = FILE_HEADER_SIZE + INFO_HEADER_SIZE;
constexpr std::int64_t LARGEST_INFO_HEADER_SIZE = 124;

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
    const std::size_t rowBytes = PackedRowBytes(image.width);
    const std::uint8_t padding[3] = {0, 0, 0};
    const std::size_t paddingBytes = PaddedRowBytes(image.width) - rowBytes;
    const std::uint8_t* row = FrameBytes(image);
    for (std::int32_t y = 0; y < image.height; ++y, row += rowBytes) {
        if (std::fwrite(row, 1, rowBytes, file) != rowBytes ||
            std::fwrite(padding, 1, paddingBytes, file) != paddingBytes) {
            return false;
        }
    }
    return true;
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

bool IsKnownInfoHeaderSize(std::int64_t size) {
    return size == CORE_HEADER_SIZE || size == INFO_HEADER_SIZE || size == 56 || size == 108 ||
           size == LARGEST_INFO_HEADER_SIZE;
}

bool IsKnownBitCount(std::uint32_t bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// Checks the headers against the file size and the limits; on success every pixel row the headers
// promise lies inside the file (the decoder would read zeros past its end instead of failing),
// and width and height are the picture's size.
bool CheckBmpHeaders(const std::uint8_t* header, std::int64_t fileSize, std::int32_t& pictureWidth,
                     std::int32_t& pictureHeight, std::string& reason) {
    if (fileSize < 2 || header[0] != 'B' || header[1] != 'M') {
        reason = "not a BMP file";
        return false;
    }
    const std::string cutOff =
        "truncated BMP file: header is cut off at byte " + std::to_string(fileSize);
    if (fileSize < FILE_HEADER_SIZE + 4) {
        reason = cutOff;
        return false;
    }
    const std::int64_t infoSize = GetLe32(header + 14);
    if (!IsKnownInfoHeaderSize(infoSize)) {
        reason = "unsupported BMP: information header of " + std::to_string(infoSize) +
                 " bytes (only 12, 40, 56, 108 or 124)";
        return false;
    }
    if (fileSize < FILE_HEADER_SIZE + infoSize) {
        reason = cutOff;
        return false;
    }
    // The old header's sizes are unsigned 16-bit; the others' are signed, a negative height
    // meaning rows top-down.
    const bool core = infoSize == CORE_HEADER_SIZE;
    const std::int64_t width = core ? std::int64_t{GetLe16(header + 18)} : GetLeInt32(header + 18);
    const std::int64_t height = core ? std::int64_t{GetLe16(header + 20)} : GetLeInt32(header + 22);
    const std::uint32_t planes = GetLe16(header + (core ? 22 : 26));
    const std::uint32_t bitCount = GetLe16(header + (core ? 24 : 28));
    const std::uint32_t compression = core ? 0 : GetLe32(header + 30);
    if (planes != 1) {
        reason = "invalid BMP: " + std::to_string(planes) + " planes (must be 1)";
        return false;
    }
    if (!IsKnownBitCount(bitCount)) {
        reason = "unsupported BMP: " + std::to_string(bitCount) +
                 " bits per pixel (only 1, 4, 8, 16, 24 or 32)";
        return false;
    }
    // Bit fields (3) describe 16 and 32-bit pixels only; run-length and embedded pictures are not
    // read.
    if (compression != 0 && !(compression == 3 && (bitCount == 16 || bitCount == 32))) {
        reason = "unsupported BMP: compression method " + std::to_string(compression) + " with " +
                 std::to_string(bitCount) +
                 " bits per pixel (only uncompressed, or bit fields at 16 or 32)";
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
    const std::int64_t rowBytes = (width * bitCount + 31) / 32 * 4;
    const std::int64_t pixelEnd = pixelOffset + rows * rowBytes;
    if (pixelEnd > fileSize) {
        reason = "truncated BMP file: pixel data ends at byte " + std::to_string(pixelEnd) +
                 ", file has " + std::to_string(fileSize);
        return false;
    }
    pictureWidth = static_cast<std::int32_t>(width);
    pictureHeight = static_cast<std::int32_t>(rows);
    return true;
}

int ReadBytes(void* file, char* data, int size) {
    return static_cast<int>(
        std::fread(data, 1, static_cast<std::size_t>(size), static_cast<std::FILE*>(file)));
}

void SkipBytes(void* file, int count) {
    std::fseek(static_cast<std::FILE*>(file), count, SEEK_CUR);
}

int AtEnd(void* file) {
    return std::feof(static_cast<std::FILE*>(file));
}

// Decodes the checked file from its start into image, bottom-up with blue first.
bool DecodePixels(std::FILE* file, std::int32_t width, std::int32_t height, FrameImage& image,
                  std::string& reason) {
    if (std::fseek(file, 0, SEEK_SET) != 0) {
        reason = "read error";
        return false;
    }
    const stbi_io_callbacks callbacks{ReadBytes, SkipBytes, AtEnd};
    int decodedWidth = 0;
    int decodedHeight = 0;
    int channels = 0;
    stbi_uc* rgb =
        stbi_load_from_callbacks(&callbacks, file, &decodedWidth, &decodedHeight, &channels, 3);
    if (rgb == nullptr) {
        reason = std::string("unsupported or damaged BMP: ") + stbi_failure_reason();
        return false;
    }
    const bool sizeAsChecked = decodedWidth == width && decodedHeight == height;
    if (sizeAsChecked) {
        // The decoder gives rows top-down, red first.
        ResizeFrameImage(image, width, height);
        const std::size_t rowBytes = PackedRowBytes(width);
        CopyRows(FrameBytes(image), rowBytes, rgb, rowBytes, rowBytes,
                 static_cast<std::size_t>(height), RowOrder::Flipped);
        for (Pixel24& p : image.pixels) {
            std::swap(p.blue, p.red);
        }
    } else {
        reason = "damaged BMP: decoded size differs from the header";
    }
    stbi_image_free(rgb);
    return sizeAsChecked;
}

}  // namespace

bool WritePendingBmpFile(const std::string& fileName, const FrameImage& image) {
    const std::int64_t width = image.width;
    const std::int64_t height = image.height;
    // A broken image is refused before any file is opened, so nothing is left behind.
    if (width < 0 || height < 0 ||
        image.pixels.size() != static_cast<std::uint64_t>(width * height)) {
        return false;
    }
    const std::int64_t fileSize =
        HEADER_SIZE + height * static_cast<std::int64_t>(PaddedRowBytes(image.width));
    if (fileSize > UINT32_MAX || !MayReplaceFile(fileName)) {
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

    const std::string pending = PendingFileName(fileName);
    DiscardPendingFile(fileName);  // left by a run that was killed mid-write
    std::FILE* file = std::fopen(pending.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written =
        std::fwrite(header, 1, sizeof header, file) == sizeof header && WritePixelRows(file, image);
    // Closing flushes the buffer, so a full disk often shows only here.
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        DiscardPendingFile(fileName);
        return false;
    }
    return true;
}

bool WriteBmpFile(const std::string& fileName, const FrameImage& image) {
    if (!WritePendingBmpFile(fileName, image)) {
        return false;
    }
    if (!PutPendingFile(fileName)) {
        DiscardPendingFile(fileName);
        return false;
    }
    return true;
}

bool ReadBmpFile(const std::string& fileName, FrameImage& image, std::string& error) {
    ReleaseFrameImage(image);
    const FilePtr file = OpenRegularFile(fileName, error);
    if (file == nullptr) {
        return false;
    }
    std::uint8_t header[FILE_HEADER_SIZE + LARGEST_INFO_HEADER_SIZE] = {};
    const std::int64_t fileSize = FileSize(file.get());
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::string reason;
    bool ok = false;
    if (fileSize < 0) {
        reason = "cannot determine the file size";
    } else {
        const std::size_t headerBytes =
            static_cast<std::size_t>(std::min<std::int64_t>(fileSize, sizeof header));
        if (std::fread(header, 1, headerBytes, file.get()) != headerBytes) {
            reason = "read error";
        } else if (CheckBmpHeaders(header, fileSize, width, height, reason)) {
            ok = DecodePixels(file.get(), width, height, image, reason);
        }
    }
    if (!ok) {
        ReleaseFrameImage(image);
        error = fileName + ": " + reason;
    }
    return ok;
}
