#include "face_cover.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "simd_level.h"

namespace {

// The part of a box that lies on the surface, in surface pixels; false when the box is empty or
// misses the surface.
bool ClipToSurface(const RegionBox& box, const DisplaySurface& surface, PixelRect& clip) {
    clip = PixelRect{std::max(box.left, 0), std::max(box.top, 0),
                     std::min(box.right, surface.width), std::min(box.bottom, surface.height)};
    return !surface.pixels.empty() && clip.left < clip.right && clip.top < clip.bottom;
}

// The box's side, computed wide: the coordinates are whole 32-bit numbers.
std::int64_t Side(const RegionBox& box) {
    return std::int64_t{box.right} - box.left;
}

std::uint8_t* SurfaceRow(DisplaySurface& surface, std::int64_t y) {
    return surface.pixels.data() +
           static_cast<std::size_t>(y) * static_cast<std::size_t>(surface.stride);
}

// The blur works on strips: 16 pixels (48 floats) side by side, across every line of one
// direction. A strip of a 300-pixel box is small enough to stay in the cache for all its passes,
// and its running sums stay in registers.
constexpr std::size_t STRIP_PIXELS = 16;
constexpr std::size_t STRIP_FLOATS = 3 * STRIP_PIXELS;
// Lines are stored a pixel longer than a strip, so that a pixel's three floats can be moved as
// one vector of four, whose fourth float lands in the next pixel (written after it) or the spare
// pixel at the line's end (never read).
constexpr std::size_t LINE_FLOATS = STRIP_FLOATS + 4;
typedef float Pixel4 __attribute__((vector_size(16)));

// Copies the three floats of one pixel, and one float after them, as one vector.
[[gnu::always_inline]] inline void MovePixel(float* to, const float* from) {
    Pixel4 v;
    std::memcpy(&v, from, sizeof v);
    std::memcpy(to, &v, sizeof v);
}

typedef float Float4 __attribute__((vector_size(16)));
typedef float Float8 __attribute__((vector_size(32)));
typedef float Float16 __attribute__((vector_size(64)));

typedef std::int32_t Int4 __attribute__((vector_size(16)));
typedef std::int32_t Int8 __attribute__((vector_size(32)));
typedef std::uint8_t Byte16 __attribute__((vector_size(16)));
typedef std::uint8_t Byte32 __attribute__((vector_size(32)));
typedef std::int32_t Int16 __attribute__((vector_size(64)));
typedef std::uint8_t Byte64 __attribute__((vector_size(64)));

// The lanes of a vector of floats in 0 .. 255.5, rounded down, as bytes: the low byte of each
// whole-number lane, picked out by one shuffle.
[[gnu::always_inline]] inline void PackBytes(Float4 v, std::uint8_t* out) {
    const auto bytes = reinterpret_cast<Byte16>(__builtin_convertvector(v, Int4));
    const auto low = __builtin_shufflevector(bytes, bytes, 0, 4, 8, 12);
    std::memcpy(out, &low, sizeof low);
}
[[gnu::always_inline]] inline void PackBytes(Float8 v, std::uint8_t* out) {
    const auto bytes = reinterpret_cast<Byte32>(__builtin_convertvector(v, Int8));
    const auto low = __builtin_shufflevector(bytes, bytes, 0, 4, 8, 12, 16, 20, 24, 28);
    std::memcpy(out, &low, sizeof low);
}
[[gnu::always_inline]] inline void PackBytes(Float16 v, std::uint8_t* out) {
    const auto bytes = reinterpret_cast<Byte64>(__builtin_convertvector(v, Int16));
    const auto low = __builtin_shufflevector(bytes, bytes, 0, 4, 8, 12, 16, 20, 24, 28, 32, 36, 40,
                                             44, 48, 52, 56, 60);
    std::memcpy(out, &low, sizeof low);
}

// Line i of out becomes the mean of lines max(0, i - radius) .. min(count - 1, i + radius) of in,
// a line being one strip wide; the cost does not grow with radius. Vectors are copied in and out
// with memcpy, which makes no claim on the alignment of the memory.
template <typename Vec>
[[gnu::always_inline]] inline void AverageStripLines(const float* in, float* out, std::size_t count,
                                                     std::size_t radius) {
    constexpr std::size_t LANES = sizeof(Vec) / sizeof(float);
    constexpr std::size_t VECTORS = STRIP_FLOATS / LANES;
    const auto add = [](Vec(&sums)[VECTORS], const float* line, bool subtract)
                         [[gnu::always_inline]] {
#pragma GCC unroll 12
                             for (std::size_t k = 0; k < VECTORS; ++k) {
                                 Vec v;
                                 std::memcpy(&v, line + k * LANES, sizeof v);
                                 sums[k] = subtract ? sums[k] - v : sums[k] + v;
                             }
                         };
    Vec sums[VECTORS] = {};
    for (std::size_t line = 0; line < std::min(radius + 1, count); ++line) {
        add(sums, in + line * LINE_FLOATS, false);
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t first = i > radius ? i - radius : 0;
        const std::size_t last = std::min(i + radius, count - 1);
        const float scale = 1.0f / static_cast<float>(last - first + 1);
#pragma GCC unroll 12
        for (std::size_t k = 0; k < VECTORS; ++k) {
            const Vec mean = sums[k] * scale;
            std::memcpy(out + i * LINE_FLOATS + k * LANES, &mean, sizeof mean);
        }
        if (i + radius + 1 < count) {
            add(sums, in + (i + radius + 1) * LINE_FLOATS, false);
        }
        if (i >= radius) {
            add(sums, in + (i - radius) * LINE_FLOATS, true);
        }
    }
}

std::size_t StripCount(std::size_t pixels) {
    return (pixels + STRIP_PIXELS - 1) / STRIP_PIXELS;
}

// Where the blur of one clipped box works: its top-left pixel in the surface, and the scratch.
struct BlurJob {
    std::uint8_t* topLeft;
    std::size_t surfaceStride;
    std::size_t width;
    std::size_t height;
    std::size_t radius;
    float* rows;     // one strip of 16 rows, one line per column: the horizontal passes
    float* columns;  // strips of 16 columns, one line per row: the vertical passes
    float* spare;    // one strip
};

// The three passes over one strip: strip to spare, back, and to spare again, where the result is.
template <typename Vec>
[[gnu::always_inline]] inline void BlurStrip(float* strip, float* spare, std::size_t count,
                                             std::size_t radius) {
    AverageStripLines<Vec>(strip, spare, count, radius);
    AverageStripLines<Vec>(spare, strip, count, radius);
    AverageStripLines<Vec>(strip, spare, count, radius);
}

// Each strip of 16 surface rows is filled, blurred across and turned into the columns
// strips, and each of those goes back into the surface once blurred. The inner loops have fixed
// lengths wherever a strip is whole, so the compiler can use vectors for them. Padding pixels of
// the last strips are blurred too but never written back.
template <typename Vec>
[[gnu::always_inline]] inline void BlurIn(const BlurJob& job) {
    const std::size_t width = job.width;
    const std::size_t height = job.height;
    for (std::size_t y0 = 0; y0 < height; y0 += STRIP_PIXELS) {
        const std::size_t rows = std::min(STRIP_PIXELS, height - y0);
        // Sixteen columns at a time, so the lines being filled stay in the first-level cache.
        for (std::size_t x0 = 0; x0 < width; x0 += STRIP_PIXELS) {
            const std::size_t count = std::min(STRIP_PIXELS, width - x0);
            for (std::size_t r = 0; r < rows; ++r) {
                const std::uint8_t* pixels = job.topLeft + (y0 + r) * job.surfaceStride + 3 * x0;
                float* line = job.rows + x0 * LINE_FLOATS + 3 * r;
                // Four bytes at a time, the fourth from the next pixel; the last pixel of a run
                // reads only its own three, since the surface may end there.
                for (std::size_t x = 0; x + 1 < count; ++x, line += LINE_FLOATS) {
                    Byte16 bytes = {};
                    std::memcpy(&bytes, pixels + 3 * x, 4);
                    const Byte16 wide = __builtin_shufflevector(bytes, Byte16{}, 0, 16, 16, 16, 1,
                                                                16, 16, 16, 2, 16, 16, 16, 3, 16,
                                                                16, 16);
                    const Pixel4 v = __builtin_convertvector(reinterpret_cast<Int4>(wide), Pixel4);
                    std::memcpy(line, &v, sizeof v);
                }
                const std::uint8_t* last = pixels + 3 * (count - 1);
                line[0] = last[0];
                line[1] = last[1];
                line[2] = last[2];
            }
        }
        BlurStrip<Vec>(job.rows, job.spare, width, job.radius);
        for (std::size_t x = 0; x < width; ++x) {
            const float* from = job.spare + x * LINE_FLOATS;
            float* to = job.columns + (x / STRIP_PIXELS) * height * LINE_FLOATS +
                        y0 * LINE_FLOATS + 3 * (x % STRIP_PIXELS);
            for (std::size_t r = 0; r < rows; ++r, to += LINE_FLOATS) {
                MovePixel(to, from + 3 * r);
            }
        }
    }
    for (std::size_t x0 = 0; x0 < width; x0 += STRIP_PIXELS) {
        BlurStrip<Vec>(job.columns + (x0 / STRIP_PIXELS) * height * LINE_FLOATS, job.spare, height,
                       job.radius);
        const std::size_t values = 3 * std::min(STRIP_PIXELS, width - x0);
        for (std::size_t y = 0; y < height; ++y) {
            std::uint8_t* out = job.topLeft + y * job.surfaceStride + 3 * x0;
            const float* line = job.spare + y * LINE_FLOATS;
            if (values == STRIP_FLOATS) {
                constexpr std::size_t LANES = sizeof(Vec) / sizeof(float);
                for (std::size_t k = 0; k < STRIP_FLOATS; k += LANES) {
                    Vec v;
                    std::memcpy(&v, line + k, sizeof v);
                    v += 0.5f;
                    v = v < 255.0f ? v : 255.0f;
                    PackBytes(v, out + k);
                }
            } else {
                for (std::size_t j = 0; j < values; ++j) {
                    out[j] = static_cast<std::uint8_t>(std::min(line[j] + 0.5f, 255.0f));
                }
            }
        }
    }
}

void BlurPortable(const BlurJob& job) {
    BlurIn<Float4>(job);
}

#if defined(__x86_64__) || defined(__i386__)
[[gnu::target("avx2")]] void BlurAvx2(const BlurJob& job) {
    BlurIn<Float8>(job);
}
// Every float goes through the same additions, subtractions and multiplications in the same
// order whatever the vector's width, so all three give the same bytes.
[[gnu::target("avx512f,avx512bw,avx512vl,avx512dq,avx2")]] void BlurAvx512(const BlurJob& job) {
    BlurIn<Float16>(job);
}
#endif

using BlurFunction = void (*)(const BlurJob&);

BlurFunction ChooseBlur(SimdLevel level) {
#if defined(__x86_64__) || defined(__i386__)
    if (level == SimdLevel::Avx512 && SimdLevelSupported(level)) {
        return BlurAvx512;
    }
    if (level >= SimdLevel::Avx2 && SimdLevelSupported(SimdLevel::Avx2)) {
        return BlurAvx2;
    }
#else
    (void)level;
#endif
    return BlurPortable;
}

}  // namespace

void PixelateBox(const RegionBox& box, DisplaySurface& surface, CoverScratch& scratch) {
    PixelRect clip;
    const std::int64_t side = Side(box);
    if (side <= 0 || !ClipToSurface(box, surface, clip)) {
        return;
    }
    const std::int64_t cell = std::max<std::int64_t>(2, (side + 7) / 8);
    // Cells are counted from the box's corner, which may lie off the surface.
    const std::int64_t firstCellLeft = box.left + (clip.left - box.left) / cell * cell;
    const auto cellsAcross =
        static_cast<std::size_t>((clip.right - firstCellLeft + cell - 1) / cell);
    scratch.cellSums.resize(3 * cellsAcross);
    for (std::int64_t bandTop = box.top + (clip.top - box.top) / cell * cell; bandTop < clip.bottom;
         bandTop += cell) {
        const std::int64_t y0 = std::max<std::int64_t>(bandTop, clip.top);
        const std::int64_t y1 = std::min<std::int64_t>(bandTop + cell, clip.bottom);
        std::fill(scratch.cellSums.begin(), scratch.cellSums.end(), 0);
        const auto cellColumns = [&](std::size_t k) {
            const auto left = firstCellLeft + cell * static_cast<std::int64_t>(k);
            return std::pair{std::max<std::int64_t>(left, clip.left),
                             std::min<std::int64_t>(left + cell, clip.right)};
        };
        for (std::int64_t y = y0; y < y1; ++y) {
            const std::uint8_t* row = SurfaceRow(surface, y);
            for (std::size_t k = 0; k < cellsAcross; ++k) {
                const auto [x0, x1] = cellColumns(k);
                std::uint64_t* sum = &scratch.cellSums[3 * k];
                std::uint32_t blue = 0, green = 0, red = 0;  // one row of one cell cannot overflow
                for (const std::uint8_t* p = row + 3 * x0; p < row + 3 * x1; p += 3) {
                    blue += p[0];
                    green += p[1];
                    red += p[2];
                }
                sum[0] += blue;
                sum[1] += green;
                sum[2] += red;
            }
        }
        for (std::size_t k = 0; k < cellsAcross; ++k) {
            const auto [x0, x1] = cellColumns(k);
            const auto count = static_cast<std::uint64_t>((x1 - x0) * (y1 - y0));
            const std::uint64_t* sum = &scratch.cellSums[3 * k];
            const std::uint8_t mean[3] = {static_cast<std::uint8_t>(sum[0] / count),
                                          static_cast<std::uint8_t>(sum[1] / count),
                                          static_cast<std::uint8_t>(sum[2] / count)};
            for (std::int64_t y = y0; y < y1; ++y) {
                std::uint8_t* p = SurfaceRow(surface, y) + 3 * x0;
                for (std::int64_t x = x0; x < x1; ++x, p += 3) {
                    p[0] = mean[0];
                    p[1] = mean[1];
                    p[2] = mean[2];
                }
            }
        }
    }
}

void BlurBox(const RegionBox& box, DisplaySurface& surface, CoverScratch& scratch) {
    static const SimdLevel level = DetectSimdLevel();
    BlurBox(box, surface, scratch, level);
}

void BlurBox(const RegionBox& box, DisplaySurface& surface, CoverScratch& scratch,
             SimdLevel level) {
    const BlurFunction blur = ChooseBlur(level);
    PixelRect clip;
    const std::int64_t side = Side(box);
    if (side <= 0 || !ClipToSurface(box, surface, clip)) {
        return;
    }
    const auto width = static_cast<std::size_t>(clip.right - clip.left);
    const auto height = static_cast<std::size_t>(clip.bottom - clip.top);
    scratch.rows.resize(width * LINE_FLOATS);
    scratch.columns.resize(StripCount(width) * height * LINE_FLOATS);
    scratch.spare.resize(std::max(width, height) * LINE_FLOATS);
    blur(BlurJob{SurfaceRow(surface, clip.top) + 3 * static_cast<std::size_t>(clip.left),
                 static_cast<std::size_t>(surface.stride), width, height,
                 static_cast<std::size_t>(std::max<std::int64_t>(1, side / 12)),
                 scratch.rows.data(), scratch.columns.data(), scratch.spare.data()});
}

void DrawCover(const RegionBox& box, CoverStyle style, const OverlaySprite& sprite,
               DisplaySurface& surface, CoverScratch& scratch) {
    switch (style) {
        case CoverStyle::Overlay:
            DrawOverlaySprite({0, 0, sprite.width, sprite.height}, box, sprite, surface);
            break;
        case CoverStyle::Pixelate:
            PixelateBox(box, surface, scratch);
            break;
        case CoverStyle::Blur:
            BlurBox(box, surface, scratch);
            break;
    }
}
