// PNG output for the icon: 8-bit red, green, blue and alpha, rows top-down.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes width x height pixels of four bytes each to fileName; false when it cannot.
bool WritePngFile(const std::string& fileName, std::int32_t width, std::int32_t height,
                  const std::vector<std::uint8_t>& rgba);
