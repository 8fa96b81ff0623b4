#include "png_file.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

bool WritePngFile(const std::string& fileName, std::int32_t width, std::int32_t height,
                  const std::vector<std::uint8_t>& rgba) {
    if (width <= 0 || height <= 0 ||
        rgba.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4) {
        return false;
    }
    return stbi_write_png(fileName.c_str(), width, height, 4, rgba.data(), width * 4) != 0;
}
