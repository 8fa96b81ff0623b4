// BMP files: the snapshot writer, and the one reader of pictures for the overlay sprites, tools and
// tests. Files are untrusted: the reader checks headers and pixel extents against the file before
// it decodes or allocates anything large.
#pragma once

#include <cstdint>
#include <string>

#include "frame_image.h"

// Limits of the reader: far beyond any capture resolution or overlay picture, and they keep a
// hostile header from asking for gigabytes.
inline constexpr std::int32_t MAX_BMP_SIDE = 32768;
inline constexpr std::int64_t MAX_BMP_PIXELS = std::int64_t{64} * 1024 * 1024;

// Writes image as a bottom-up 24-bit BMP (rows padded to 4 bytes). The file is written under a
// temporary name beside fileName and replaces it only once written and closed, so a failure
// (a full disk) keeps an earlier file whole. Returns false, leaving nothing behind, when the file
// cannot be written, or when an earlier fileName may not be replaced (see MayReplaceFile).
bool WriteBmpFile(const std::string& fileName, const FrameImage& image);

// The first half of WriteBmpFile: writes the file under PendingFileName(fileName) only, for a
// caller that puts several files in place together (PutPendingFile). Returns false, leaving no
// pending file, on the same failures.
bool WritePendingBmpFile(const std::string& fileName, const FrameImage& image);

// Reads a BMP of the common layouts (12, 40, 56, 108 or 124-byte information header; 1, 4 or
// 8-bit palettes, 16, 24 or 32 bits, bit fields at 16 and 32; bottom-up or top-down) into image,
// rows bottom-up. Only a regular file is read. On failure returns false, leaves image empty and
// puts a one-line reason into error.
bool ReadBmpFile(const std::string& fileName, FrameImage& image, std::string& error);
