#include "overlay_sprite.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <utility>

#include "bmp_file.h"
#include "frame_rows.h"
#include "native_path.h"
#include "simd_level.h"
#include "stretch.h"

#if RAVK_X86
#include <immintrin.h>
#endif

namespace {

// Destination columns whose source columns are looked up at once: enough for most boxes, small
// enough for the stack, so a draw allocates nothing.
constexpr std::int32_t COLUMN_CHUNK = 512;

// One chunk of destination columns of a draw, already clipped to the surface.
struct SpriteChunk {
    const OverlaySprite& sprite;
    const std::int32_t* columns;  // the source column of each destination column
    std::int32_t count;
    std::int32_t left;  // the chunk's first surface column
    std::int32_t top, bottom;
    // Destination row y shows source row src.top + NearestSourceIndex(y - dstTop, dstHeight,
    // srcHeight).
    std::int32_t srcTop, srcHeight, dstTop, dstHeight;
};

// Calls draw(colour, transparent, out) for each row of the chunk with the sprite row it shows
// and the chunk's first byte in the surface row.
template <typename DrawRow>
void ForEachChunkRow(const SpriteChunk& chunk, DisplaySurface& surface, DrawRow draw) {
    for (std::int32_t y = chunk.top; y < chunk.bottom; ++y) {
        const std::int32_t sourceY =
            chunk.srcTop + NearestSourceIndex(y - chunk.dstTop, chunk.dstHeight, chunk.srcHeight);
        const std::size_t sourceRow =
            static_cast<std::size_t>(sourceY) * static_cast<std::size_t>(chunk.sprite.width);
        draw(chunk.sprite.pixels.data() + sourceRow, chunk.sprite.mask.data() + sourceRow,
             surface.pixels.data() +
                 static_cast<std::size_t>(y) * static_cast<std::size_t>(surface.stride) +
                 3 * static_cast<std::size_t>(chunk.left));
    }
}

void DrawChunkPortable(const SpriteChunk& chunk, DisplaySurface& surface) {
    ForEachChunkRow(chunk, surface,
                    [&](const Pixel24* colour, const std::uint8_t* transparent, std::uint8_t* out) {
                        for (std::int32_t i = 0; i < chunk.count; ++i, out += 3) {
                            const std::int32_t x = chunk.columns[i];
                            if (transparent[x] == 0) {
                                std::memcpy(out, &colour[x], 3);
                            }
                        }
                    });
}

#if RAVK_X86
// Up to 16 destination pixels drawn from one 64-byte load of a sprite row's colours and one of its
// mask: byte permutes pick each pixel's colour and transparency out of the loaded spans. Which
// bytes they pick depends only on the columns, so it is worked out once per chunk.
struct PermuteGroup {
    alignas(64) std::uint8_t colourIndex[64];
    alignas(64) std::uint8_t maskIndex[64];
    std::int32_t first;        // the group's first destination column, from the chunk's left
    std::int32_t sourceLeft;   // the first source column it shows
    std::uint64_t colourLoad;  // the colour bytes it reads from sourceLeft on: no more, so a
    std::uint64_t maskLoad;    // load never reads past the sprite
    std::uint64_t outBytes;    // three bytes per pixel
};

constexpr std::int32_t GROUP_PIXELS = 16;
// A chunk's groups when no sprite pixel is skipped; a sprite shrunk further takes several passes
// over the rows, which keeps the groups on the stack small.
constexpr std::int32_t GROUPS_AT_ONCE = COLUMN_CHUNK / GROUP_PIXELS;

std::uint64_t LowBits(std::int32_t count) {
    return count >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << count) - 1;
}

// Splits the chunk's columns from first on into at most GROUPS_AT_ONCE groups whose source spans
// each fit one load; returns the number of groups and sets first to the column after them.
std::int32_t BuildPermuteGroups(const SpriteChunk& chunk, std::int32_t& first,
                                PermuteGroup* groups) {
    std::int32_t count = 0;
    for (; first < chunk.count && count < GROUPS_AT_ONCE; ++count) {
        PermuteGroup& group = groups[count];
        group = PermuteGroup{};
        group.first = first;
        group.sourceLeft = chunk.columns[first];
        std::int32_t pixels = 0;
        std::int32_t span = 0;
        while (first + pixels < chunk.count && pixels < GROUP_PIXELS &&
               3 * (chunk.columns[first + pixels] - group.sourceLeft + 1) <= 64) {
            const std::int32_t offset = chunk.columns[first + pixels] - group.sourceLeft;
            for (std::int32_t c = 0; c < 3; ++c) {
                group.colourIndex[3 * pixels + c] = static_cast<std::uint8_t>(3 * offset + c);
                group.maskIndex[3 * pixels + c] = static_cast<std::uint8_t>(offset);
            }
            span = offset + 1;
            ++pixels;
        }
        group.colourLoad = LowBits(3 * span);
        group.maskLoad = LowBits(span);
        group.outBytes = LowBits(3 * pixels);
        first += pixels;
    }
    return count;
}

// One row of the groups; out is the chunk's first byte in the surface row.
[[gnu::target("avx512f,avx512bw,avx512vbmi")]] void DrawGroupsVbmi(const PermuteGroup* groups,
                                                                   std::int32_t count,
                                                                   const Pixel24* colour,
                                                                   const std::uint8_t* transparent,
                                                                   std::uint8_t* out) {
    const auto* colourBytes = reinterpret_cast<const std::uint8_t*>(colour);
    for (std::int32_t g = 0; g < count; ++g) {
        const PermuteGroup& group = groups[g];
        const __m512i picked = _mm512_maskz_permutexvar_epi8(
            group.outBytes, _mm512_load_si512(group.colourIndex),
            _mm512_maskz_loadu_epi8(group.colourLoad, colourBytes + 3 * group.sourceLeft));
        const __m512i hidden = _mm512_maskz_permutexvar_epi8(
            group.outBytes, _mm512_load_si512(group.maskIndex),
            _mm512_maskz_loadu_epi8(group.maskLoad, transparent + group.sourceLeft));
        _mm512_mask_storeu_epi8(out + 3 * group.first,
                                _mm512_testn_epi8_mask(hidden, hidden) & group.outBytes, picked);
    }
}

void DrawChunkVbmi(const SpriteChunk& chunk, DisplaySurface& surface) {
    PermuteGroup groups[GROUPS_AT_ONCE];
    for (std::int32_t first = 0; first < chunk.count;) {
        const std::int32_t count = BuildPermuteGroups(chunk, first, groups);
        ForEachChunkRow(
            chunk, surface,
            [&](const Pixel24* colour, const std::uint8_t* transparent, std::uint8_t* out) {
                DrawGroupsVbmi(groups, count, colour, transparent, out);
            });
    }
}
#endif

using ChunkFunction = void (*)(const SpriteChunk&, DisplaySurface&);

ChunkFunction ChooseChunkFunction(SimdLevel level) {
#if RAVK_X86
    if (level >= SimdLevel::Avx512Vbmi && SimdLevelSupported(SimdLevel::Avx512Vbmi)) {
        return DrawChunkVbmi;
    }
#else
    (void)level;
#endif
    return DrawChunkPortable;
}

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
    static const SimdLevel level = DetectSimdLevel();
    DrawOverlaySprite(src, dst, sprite, surface, level);
}

void DrawOverlaySprite(const PixelRect& src, const PixelRect& dst, const OverlaySprite& sprite,
                       DisplaySurface& surface, SimdLevel level) {
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
    const ChunkFunction drawChunk = ChooseChunkFunction(level);
    const std::int32_t srcWidth = src.right - src.left;
    const std::int32_t left = std::max(dst.left, 0);
    const std::int32_t right = std::min(dst.right, surface.width);
    std::int32_t columns[COLUMN_CHUNK];
    for (std::int32_t chunkLeft = left; chunkLeft < right; chunkLeft += COLUMN_CHUNK) {
        const std::int32_t count = std::min(COLUMN_CHUNK, right - chunkLeft);
        for (std::int32_t i = 0; i < count; ++i) {
            columns[i] =
                src.left + NearestSourceIndex(chunkLeft + i - dst.left,
                                              static_cast<std::int32_t>(dstWidth), srcWidth);
        }
        drawChunk(SpriteChunk{.sprite = sprite,
                              .columns = columns,
                              .count = count,
                              .left = chunkLeft,
                              .top = std::max(dst.top, 0),
                              .bottom = std::min(dst.bottom, surface.height),
                              .srcTop = src.top,
                              .srcHeight = src.bottom - src.top,
                              .dstTop = dst.top,
                              .dstHeight = static_cast<std::int32_t>(dstHeight)},
                  surface);
    }
}
