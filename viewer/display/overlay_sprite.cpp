#include "overlay_sprite.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <utility>

#include "bmp_file.h"
#include "frame_rows.h"
#include "native_path.h"
#include "stretch.h"

namespace {

// Destination columns whose source columns are looked up at once: enough for most boxes, small
// enough for the stack, so a draw allocates nothing.
constexpr std::int32_t COLUMN_CHUNK = 512;

}  // namespace

bool LoadOverlaySprite(OverlaySprite& sprite, const std::string& fileName, std::uint32_t keyColor) {
    sprite = OverlaySprite{};
    FrameImage image;
    std::string error;
    if (!ReadBmpFile(fileName, image, error)) {
        return false;
    }
    const Pixel24 key{static_cast<std::uint8_t>(keyColor >> 16),
                      static_cast<std::uint8_t>(keyColor >> 8),
                      static_cast<std::uint8_t>(keyColor)};
    sprite.width = image.width;
    sprite.height = image.height;
    // Sprites are drawn onto the top-down surface, so they are kept top-down too.
    sprite.pixels.resize(image.pixels.size());
    const std::size_t rowBytes = PackedRowBytes(image.width);
    CopyRows(reinterpret_cast<std::uint8_t*>(sprite.pixels.data()), rowBytes, FrameBytes(image),
             rowBytes, rowBytes, static_cast<std::size_t>(image.height), RowOrder::Flipped);
    sprite.mask.resize(sprite.pixels.size());
    for (std::size_t i = 0; i < sprite.pixels.size(); ++i) {
        if (sprite.pixels[i] == key) {
            sprite.mask[i] = 1;
            sprite.pixels[i] = Pixel24{};
        }
    }
    return true;
}

bool LoadOverlaySprites(OverlayTable& table, std::string& failedFileName,
                        const std::string& folder) {
    for (std::int32_t i = 0; i < OVERLAY_FRAME_COUNT; ++i) {
        char number[32];
        std::snprintf(number, sizeof number, OVERLAY_FILE_FORMAT, static_cast<int>(i));
        const std::string name = folder + number;
        if (!LoadOverlaySprite(table[static_cast<std::size_t>(i)], NativePath(name),
                               OVERLAY_KEY_COLOR)) {
            failedFileName = name;
            return false;
        }
    }
    return true;
}

std::string OverlayLoadFailureMessage(const std::string& failedFileName) {
    char message[1024];
    std::snprintf(message, sizeof message, OVERLAY_LOAD_FAILURE_FORMAT, failedFileName.c_str());
    return message;
}

void DrawOverlaySprite(const PixelRect& src, const PixelRect& dst, const OverlaySprite& sprite,
                       DisplaySurface& surface) {
    if (src.left < 0 || src.top < 0 || src.right > sprite.width || src.bottom > sprite.height ||
        src.left >= src.right || src.top >= src.bottom || surface.pixels.empty()) {
        return;
    }
    const std::size_t spritePixels =
        static_cast<std::size_t>(sprite.width) * static_cast<std::size_t>(sprite.height);
    if (sprite.pixels.size() != spritePixels || sprite.mask.size() != spritePixels) {
        return;
    }
    const std::int64_t dstWidth = static_cast<std::int64_t>(dst.right) - dst.left;
    const std::int64_t dstHeight = static_cast<std::int64_t>(dst.bottom) - dst.top;
    if (dstWidth <= 0 || dstHeight <= 0 || dstWidth > INT32_MAX || dstHeight > INT32_MAX) {
        return;
    }
    const std::int32_t srcWidth = src.right - src.left;
    const std::int32_t srcHeight = src.bottom - src.top;
    const std::int32_t left = std::max(dst.left, 0);
    const std::int32_t right = std::min(dst.right, surface.width);
    const std::int32_t top = std::max(dst.top, 0);
    const std::int32_t bottom = std::min(dst.bottom, surface.height);

    std::int32_t columns[COLUMN_CHUNK];
    for (std::int32_t chunkLeft = left; chunkLeft < right; chunkLeft += COLUMN_CHUNK) {
        const std::int32_t count = std::min(COLUMN_CHUNK, right - chunkLeft);
        for (std::int32_t i = 0; i < count; ++i) {
            columns[i] =
                src.left + NearestSourceIndex(chunkLeft + i - dst.left,
                                              static_cast<std::int32_t>(dstWidth), srcWidth);
        }
        for (std::int32_t y = top; y < bottom; ++y) {
            const std::int32_t sourceY =
                src.top +
                NearestSourceIndex(y - dst.top, static_cast<std::int32_t>(dstHeight), srcHeight);
            const std::size_t sourceRow =
                static_cast<std::size_t>(sourceY) * static_cast<std::size_t>(sprite.width);
            const Pixel24* colour = sprite.pixels.data() + sourceRow;
            const std::uint8_t* transparent = sprite.mask.data() + sourceRow;
            std::uint8_t* out =
                surface.pixels.data() +
                static_cast<std::size_t>(y) * static_cast<std::size_t>(surface.stride) +
                3 * static_cast<std::size_t>(chunkLeft);
            for (std::int32_t i = 0; i < count; ++i, out += 3) {
                const std::int32_t x = columns[i];
                if (transparent[x] == 0) {
                    std::memcpy(out, &colour[x], 3);
                }
            }
        }
    }
}
