// PNG output for the icon: 8-bit red, green, blue and alpha, rows top-down; and the Windows icon
// file, which holds one PNG per size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes width x height pixels of four bytes each to fileName; false when it cannot.
bool WritePngFile(const std::string& fileName, std::int32_t width, std::int32_t height,
                  const std::vector<std::uint8_t>& rgba);

// The PNG file's bytes for the same pixels; empty when they cannot be encoded.
std::vector<std::uint8_t> EncodePng(std::int32_t width, std::int32_t height,
                                    const std::vector<std::uint8_t>& rgba);

// Writes a Windows .ico of square pictures, each given as its side and PNG bytes (sides of 1 to
// 256); false when it cannot.
struct IconPicture {
    std::int32_t side;
    std::vector<std::uint8_t> png;
};
bool WriteIcoFile(const std::string& fileName, const std::vector<IconPicture>& pictures);
