#include "png_file.h"

#include <fstream>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

namespace {

bool FitsPixels(std::int32_t width, std::int32_t height, const std::vector<std::uint8_t>& rgba) {
    return width > 0 && height > 0 &&
           rgba.size() == static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
}

void AppendLittleEndian(std::vector<std::uint8_t>& bytes, std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

}  // namespace

bool WritePngFile(const std::string& fileName, std::int32_t width, std::int32_t height,
                  const std::vector<std::uint8_t>& rgba) {
    return FitsPixels(width, height, rgba) &&
           stbi_write_png(fileName.c_str(), width, height, 4, rgba.data(), width * 4) != 0;
}

std::vector<std::uint8_t> EncodePng(std::int32_t width, std::int32_t height,
                                    const std::vector<std::uint8_t>& rgba) {
    std::vector<std::uint8_t> png;
    const auto append = [](void* context, void* data, int size) {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        static_cast<std::vector<std::uint8_t>*>(context)->insert(
            static_cast<std::vector<std::uint8_t>*>(context)->end(), bytes, bytes + size);
    };
    if (!FitsPixels(width, height, rgba) ||
        stbi_write_png_to_func(append, &png, width, height, 4, rgba.data(), width * 4) == 0) {
        return {};
    }
    return png;
}

bool WriteIcoFile(const std::string& fileName, const std::vector<IconPicture>& pictures) {
    // The directory (6 bytes, then 16 per picture), then the pictures in the same order.
    std::vector<std::uint8_t> file;
    AppendLittleEndian(file, 0, 2);  // reserved
    AppendLittleEndian(file, 1, 2);  // an icon, not a cursor
    AppendLittleEndian(file, static_cast<std::uint32_t>(pictures.size()), 2);
    std::size_t offset = 6 + 16 * pictures.size();
    for (const IconPicture& picture : pictures) {
        if (picture.side < 1 || picture.side > 256 || picture.png.empty()) {
            return false;
        }
        const auto side = static_cast<std::uint32_t>(picture.side % 256);  // 0 stands for 256
        AppendLittleEndian(file, side, 1);
        AppendLittleEndian(file, side, 1);
        AppendLittleEndian(file, 0, 2);   // no palette, reserved
        AppendLittleEndian(file, 1, 2);   // planes
        AppendLittleEndian(file, 32, 2);  // bits per pixel
        AppendLittleEndian(file, static_cast<std::uint32_t>(picture.png.size()), 4);
        AppendLittleEndian(file, static_cast<std::uint32_t>(offset), 4);
        offset += picture.png.size();
    }
    for (const IconPicture& picture : pictures) {
        file.insert(file.end(), picture.png.begin(), picture.png.end());
    }
    std::ofstream out(fileName, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()),
              static_cast<std::streamsize>(file.size()));
    return static_cast<bool>(out.flush());
}
