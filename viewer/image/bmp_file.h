// Uncompressed 24-bit BMP files: the snapshot writer and a defensive reader for tools and tests.
#pragma once

#include <string>

#include "frame_image.h"

// Writes image as a bottom-up 24-bit BMP (rows padded to 4 bytes). Returns false when the file
// cannot be opened (nothing is left behind) or when writing or closing it fails.
bool WriteBmpFile(const std::string& fileName, const FrameImage& image);

// Reads an uncompressed 24-bit BMP (bottom-up or top-down) into image, rows bottom-up. On failure
// returns false, leaves image empty and puts a one-line reason into error.
bool ReadBmpFile(const std::string& fileName, FrameImage& image, std::string& error);
