#include "face_cover.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <utility>

#include "simd_level.h"

#if RAVK_X86
#include <immintrin.h>
#endif

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
// direction.
constexpr std::size_t STRIP_PIXELS = 16;
constexpr std::size_t STRIP_FLOATS = 3 * STRIP_PIXELS;
// Lines are stored a pixel longer than a strip, so that a pixel's three floats can be stored as
// one vector of four, whose fourth float lands in the next pixel (written after it) or the spare
// pixel at the line's end (never read).
constexpr std::size_t LINE_FLOATS = STRIP_FLOATS + 4;
typedef float Pixel4 __attribute__((vector_size(16)));

typedef float Float4 __attribute__((vector_size(16)));
typedef float Float8 __attribute__((vector_size(32)));
typedef float Float16 __attribute__((vector_size(64)));

typedef std::int32_t Int4 __attribute__((vector_size(16)));
typedef std::int32_t Int8 __attribute__((vector_size(32)));
typedef std::uint8_t Byte4 __attribute__((vector_size(4)));
typedef std::uint8_t Byte16 __attribute__((vector_size(16)));
typedef std::uint16_t Short4 __attribute__((vector_size(8)));
typedef std::uint8_t Byte32 __attribute__((vector_size(32)));
typedef std::int32_t Int16 __attribute__((vector_size(64)));

// As many bytes as the vector has lanes, as floats. Widened twice before the conversion, since
// the compiler converts byte by byte when asked to go straight to floats or four times as wide.
[[gnu::always_inline]] inline void LoadBytes(const std::uint8_t* bytes, Float4& v) {
    Byte4 b;
    std::memcpy(&b, bytes, sizeof b);
    v = __builtin_convertvector(__builtin_convertvector(__builtin_convertvector(b, Short4), Int4),
                                Float4);
}

#if RAVK_X86
// The wider vectors widen in one instruction, which the compiler reaches only through the
// intrinsics. Not forced inline, since a function of another target cannot be; the kernels of the
// same target inline them all the same. The AVX-512 one is the zeroing form with every lane kept:
// the plain form's undefined start value sets off GCC's warning about uninitialised values.
[[gnu::target("avx2")]] inline void LoadBytes(const std::uint8_t* bytes, Float8& v) {
    const __m256i wide =
        _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(bytes)));
    v = __builtin_convertvector(reinterpret_cast<Int8>(wide), Float8);
}
[[gnu::target("avx512f,avx512bw,avx512vl,avx512dq,avx2")]] inline void LoadBytes(
    const std::uint8_t* bytes, Float16& v) {
    const __m512i wide = _mm512_maskz_cvtepu8_epi32(
        static_cast<__mmask16>(0xFFFF), _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)));
    v = __builtin_convertvector(reinterpret_cast<Int16>(wide), Float16);
}
#endif

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
// One instruction where the processor narrows whole vectors.
[[gnu::always_inline]] inline void PackBytes(Float16 v, std::uint8_t* out) {
    const Byte16 low = __builtin_convertvector(__builtin_convertvector(v, Int16), Byte16);
    std::memcpy(out, &low, sizeof low);
}

// The three passes over a strip run as one sweep over its lines, one slice of the strip at a time:
// three vectors, so whole pixels, whose running sums stay in registers. Each pass lags the one
// before it by radius + 1 lines and keeps the lines it has yet to subtract in a ring of
// 2 * radius + 2, so the strip is read once, nothing is written but the result, and the rings stay
// in the first-level cache.
constexpr std::size_t SLICE_VECTORS = 3;

template <typename Vec>
using Slice = Vec[SLICE_VECTORS];

template <typename Vec>
constexpr std::size_t SLICE_FLOATS = SLICE_VECTORS * sizeof(Vec) / sizeof(float);

// One pass of the sweep: line j of its output is the mean of its input lines
// max(0, j - radius) .. min(count - 1, j + radius), kept as a running sum, so the cost does not
// grow with radius. Vectors are copied in and out with memcpy, which makes no claim on the
// alignment of the memory.
template <typename Vec>
struct RunningMean {
    float* kept;         // the input lines still in the window: a ring, or the strip itself
    std::size_t stride;  // floats from one kept line to the next
    std::size_t wrap;    // kept lines before the ring starts over
    std::size_t count;
    std::size_t radius;
    const float* scales;   // per output line, 1 / the number of lines in its window
    std::size_t head = 0;  // where the next input line is kept
    std::size_t tail = 0;  // the oldest kept line
    Slice<Vec> sums = {};
};

template <typename Vec, typename Next>
[[gnu::always_inline]] inline void PassMean(const RunningMean<Vec>& pass, std::size_t j,
                                            const Next& next) {
    const float scale = pass.scales[j];
    Slice<Vec> mean;
#pragma GCC unroll 3
    for (std::size_t k = 0; k < SLICE_VECTORS; ++k) {
        mean[k] = pass.sums[k] * scale;
    }
    next(j, mean);
}

template <typename Vec>
[[gnu::always_inline]] inline void SubtractOldest(RunningMean<Vec>& pass) {
    constexpr std::size_t LANES = sizeof(Vec) / sizeof(float);
    const float* line = pass.kept + pass.tail * pass.stride;
#pragma GCC unroll 3
    for (std::size_t k = 0; k < SLICE_VECTORS; ++k) {
        Vec v;
        std::memcpy(&v, line + k * LANES, sizeof v);
        pass.sums[k] = pass.sums[k] - v;
    }
    pass.tail = pass.tail + 1 == pass.wrap ? 0 : pass.tail + 1;
}

// Input line `line` enters the window: first the output line whose window it completes goes to
// next, then it is added and the oldest line leaves. keep copies it into the ring; the first pass
// reads its lines where they are.
template <typename Vec, typename Next>
[[gnu::always_inline]] inline void EnterLine(RunningMean<Vec>& pass, std::size_t line,
                                             const Slice<Vec>& in, bool keep, const Next& next) {
    constexpr std::size_t LANES = sizeof(Vec) / sizeof(float);
    if (line > pass.radius) {
        PassMean(pass, line - pass.radius - 1, next);
    }
    if (keep) {
        float* to = pass.kept + pass.head * pass.stride;
#pragma GCC unroll 3
        for (std::size_t k = 0; k < SLICE_VECTORS; ++k) {
            std::memcpy(to + k * LANES, &in[k], sizeof in[k]);
        }
        pass.head = pass.head + 1 == pass.wrap ? 0 : pass.head + 1;
    }
#pragma GCC unroll 3
    for (std::size_t k = 0; k < SLICE_VECTORS; ++k) {
        pass.sums[k] = pass.sums[k] + in[k];
    }
    if (line > 2 * pass.radius) {
        SubtractOldest(pass);
    }
}

// Once every input line has entered: the output lines whose windows reach the last one.
template <typename Vec, typename Next>
[[gnu::always_inline]] inline void FinishPass(RunningMean<Vec>& pass, const Next& next) {
    for (std::size_t j = pass.count > pass.radius + 1 ? pass.count - pass.radius - 1 : 0;
         j < pass.count; ++j) {
        PassMean(pass, j, next);
        if (j >= pass.radius) {
            SubtractOldest(pass);
        }
    }
}

// The three passes over a strip of count lines; out(line, offset, slice) receives the third
// pass's result slice by slice, offset being the slice's first float in the line. rings holds
// 2 * min(2 * radius + 2, count) slices; scales holds the count lines' scales (WindowScales).
template <typename Vec, typename Out>
[[gnu::always_inline]] inline void BlurStrip(float* strip, std::size_t count, std::size_t radius,
                                             const float* scales, float* rings, const Out& out) {
    constexpr std::size_t LANES = sizeof(Vec) / sizeof(float);
    const std::size_t wrap = std::min(2 * radius + 2, count);
    for (std::size_t offset = 0; offset < STRIP_FLOATS; offset += SLICE_FLOATS<Vec>) {
        RunningMean<Vec> first{strip + offset, LINE_FLOATS, count, count, radius, scales};
        RunningMean<Vec> second{rings, SLICE_FLOATS<Vec>, wrap, count, radius, scales};
        RunningMean<Vec> third{
            rings + wrap * SLICE_FLOATS<Vec>, SLICE_FLOATS<Vec>, wrap, count, radius, scales};
        const auto result = [&](std::size_t j, const Slice<Vec>& v) __attribute__((always_inline)) {
            out(j, offset, v);
        };
        const auto intoThird = [&](std::size_t j, const Slice<Vec>& v)
            __attribute__((always_inline)) {
            EnterLine(third, j, v, true, result);
        };
        const auto intoSecond = [&](std::size_t j, const Slice<Vec>& v)
            __attribute__((always_inline)) {
            EnterLine(second, j, v, true, intoThird);
        };
        for (std::size_t line = 0; line < count; ++line) {
            Slice<Vec> v;
#pragma GCC unroll 3
            for (std::size_t k = 0; k < SLICE_VECTORS; ++k) {
                std::memcpy(&v[k], strip + line * LINE_FLOATS + offset + k * LANES, sizeof v[k]);
            }
            EnterLine(first, line, v, false, intoSecond);
        }
        FinishPass(first, intoSecond);
        FinishPass(second, intoThird);
        FinishPass(third, result);
    }
}

// Pixel P of a slice, its three floats and the one after them, stored as one vector taken from
// the registers: storing the slice and loading its pixels back at once would wait where a pixel
// straddles two vectors.
template <std::size_t P, typename Vec>
[[gnu::always_inline]] inline void StoreSlicePixel(const Slice<Vec>& v, float* to) {
    constexpr std::size_t LANES = sizeof(Vec) / sizeof(float);
    constexpr std::size_t FIRST = 3 * P / LANES, LANE = 3 * P % LANES;
    constexpr std::size_t SECOND = std::min(FIRST + 1, SLICE_VECTORS - 1);
    const Pixel4 pixel =
        __builtin_shufflevector(v[FIRST], v[SECOND], LANE, LANE + 1, LANE + 2, LANE + 3);
    std::memcpy(to, &pixel, sizeof pixel);
}

// The first `pixels` pixels of a slice to to, to + stride, to + 2 * stride and so on.
template <typename Vec>
[[gnu::always_inline]] inline void StoreSlicePixels(const Slice<Vec>& v, float* to,
                                                    std::size_t stride, std::size_t pixels) {
    [&]<std::size_t... P>(std::index_sequence<P...>) __attribute__((always_inline)) {
        ((P < pixels ? StoreSlicePixel<P>(v, to + P * stride) : void()), ...);
    }
    (std::make_index_sequence<sizeof(Vec) / sizeof(float)>());
}

// Pixel P of four slices that lie side by side in the lines they are stored to, as one vector:
// the slices' three floats each, one after the other, then four floats that the slices after
// them or the line's spare pixel take. Three shuffles and one store where a slice at a time takes
// four shuffles and four stores; a pixel split between two of a slice's vectors goes a slice at a
// time.
constexpr std::size_t GROUP_SLICES = 4;
// Only where a slice is a whole strip wide: from narrower vectors the sixteen floats cost more to
// put together than the stores they save.
constexpr std::size_t GROUP_LANES = 16;

// The three floats from lane LANE on of a, then of b. Results are passed out through references:
// a vector returned from a function that is not of its target would change how it is passed.
template <std::size_t LANE, typename Vec, std::size_t... I>
[[gnu::always_inline]] inline void PickPixel(const Vec& a, const Vec& b, Vec& out,
                                             std::index_sequence<I...>) {
    constexpr std::size_t LANES = sizeof(Vec) / sizeof(float);
    out = __builtin_shufflevector(a, b, (I < 3 ? LANE + I : I < 6 ? LANES + LANE + I - 3 : 0)...);
}

// The six floats of low, then the six of high.
template <typename Vec, std::size_t... I>
[[gnu::always_inline]] inline void JoinPixels(const Vec& low, const Vec& high, Float16& out,
                                              std::index_sequence<I...>) {
    constexpr std::size_t LANES = sizeof(Vec) / sizeof(float);
    out = __builtin_shufflevector(low, high, (I < 6 ? I : I < 12 ? LANES + I - 6 : 0)...);
}

template <std::size_t P, typename Vec>
[[gnu::always_inline]] inline void StoreGroupPixel(const Slice<Vec> (&v)[GROUP_SLICES], float* to) {
    constexpr std::size_t LANES = sizeof(Vec) / sizeof(float);
    constexpr std::size_t FIRST = 3 * P / LANES, LANE = 3 * P % LANES;
    if constexpr (LANE + 3 > LANES) {
#pragma GCC unroll 4
        for (std::size_t g = 0; g < GROUP_SLICES; ++g) {
            StoreSlicePixel<P>(v[g], to + 3 * g);
        }
    } else {
        Vec low, high;
        PickPixel<LANE>(v[0][FIRST], v[1][FIRST], low, std::make_index_sequence<LANES>());
        PickPixel<LANE>(v[2][FIRST], v[3][FIRST], high, std::make_index_sequence<LANES>());
        Float16 group;
        JoinPixels(low, high, group, std::make_index_sequence<16>());
        std::memcpy(to, &group, sizeof group);
    }
}

// The first `pixels` pixels of four slices to to, to + stride and so on.
template <typename Vec>
[[gnu::always_inline]] inline void StoreGroupPixels(const Slice<Vec> (&v)[GROUP_SLICES], float* to,
                                                    std::size_t stride, std::size_t pixels) {
    [&]<std::size_t... P>(std::index_sequence<P...>) __attribute__((always_inline)) {
        ((P < pixels ? StoreGroupPixel<P>(v, to + P * stride) : void()), ...);
    }
    (std::make_index_sequence<sizeof(Vec) / sizeof(float)>());
}

// The scale of each of count lines' windows, 1 / the lines it holds: worked out once per box, since
// a division per line and pass is slow.
void WindowScales(float* scales, std::size_t count, std::size_t radius) {
    for (std::size_t j = 0; j < count; ++j) {
        const std::size_t first = j > radius ? j - radius : 0;
        const std::size_t last = std::min(j + radius, count - 1);
        scales[j] = 1.0f / static_cast<float>(last - first + 1);
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
    float* rows;                // one strip of 16 rows, one line per column: the horizontal passes
    float* columns;             // strips of 16 columns, one line per row: the vertical passes
    float* rings;               // the sweep's rings
    const float* acrossScales;  // WindowScales of the width, then of the height
    const float* downScales;
};

// Each strip of 16 surface rows is filled, blurred across and turned into the columns
// strips, and each of those goes back into the surface once blurred. The inner loops have fixed
// lengths wherever a strip is whole, so the compiler can use vectors for them. Padding pixels of
// the last strips are blurred too but never written back.
template <typename Vec>
[[gnu::always_inline]] inline void BlurIn(const BlurJob& job) {
    constexpr std::size_t LANES = sizeof(Vec) / sizeof(float);
    const std::size_t width = job.width;
    const std::size_t height = job.height;
    for (std::size_t y0 = 0; y0 < height; y0 += STRIP_PIXELS) {
        const std::size_t rows = std::min(STRIP_PIXELS, height - y0);
        // Sixteen columns at a time, so the lines being filled stay in the first-level cache.
        for (std::size_t x0 = 0; x0 < width; x0 += STRIP_PIXELS) {
            const std::size_t count = std::min(STRIP_PIXELS, width - x0);
            // Row r from pixel `from` on.
            const auto fillRow = [&](std::size_t r, std::size_t from)
                __attribute__((always_inline)) {
                const std::uint8_t* pixels = job.topLeft + (y0 + r) * job.surfaceStride + 3 * x0;
                float* line = job.rows + (x0 + from) * LINE_FLOATS + 3 * r;
                std::size_t x = from;
                for (; x + LANES <= count; x += LANES, line += LANES * LINE_FLOATS) {
                    Slice<Vec> v;
#pragma GCC unroll 3
                    for (std::size_t k = 0; k < SLICE_VECTORS; ++k) {
                        LoadBytes(pixels + 3 * x + k * LANES, v[k]);
                    }
                    StoreSlicePixels(v, line, LINE_FLOATS, LANES);
                }
                // The rest four bytes at a time, the fourth from the next pixel; the last pixel of
                // a run reads only its own three, since the surface may end there.
                for (; x + 1 < count; ++x, line += LINE_FLOATS) {
                    Byte16 bytes = {};
                    std::memcpy(&bytes, pixels + 3 * x, 4);
                    const Byte16 wide =
                        __builtin_shufflevector(bytes, Byte16{}, 0, 16, 16, 16, 1, 16, 16, 16, 2,
                                                16, 16, 16, 3, 16, 16, 16);
                    const Pixel4 v = __builtin_convertvector(reinterpret_cast<Int4>(wide), Pixel4);
                    std::memcpy(line, &v, sizeof v);
                }
                if (x < count) {
                    line[0] = pixels[3 * x];
                    line[1] = pixels[3 * x + 1];
                    line[2] = pixels[3 * x + 2];
                }
            };
            // Four rows at a time over their whole slices, then each one's rest.
            std::size_t r = 0;
            if constexpr (LANES >= GROUP_LANES) {
                const std::size_t whole = count / LANES * LANES;
                for (; r + GROUP_SLICES <= rows; r += GROUP_SLICES) {
                    float* line = job.rows + x0 * LINE_FLOATS + 3 * r;
                    for (std::size_t x = 0; x < whole; x += LANES, line += LANES * LINE_FLOATS) {
                        Slice<Vec> v[GROUP_SLICES];
#pragma GCC unroll 4
                        for (std::size_t g = 0; g < GROUP_SLICES; ++g) {
                            const std::uint8_t* pixels =
                                job.topLeft + (y0 + r + g) * job.surfaceStride + 3 * (x0 + x);
#pragma GCC unroll 3
                            for (std::size_t k = 0; k < SLICE_VECTORS; ++k) {
                                LoadBytes(pixels + k * LANES, v[g][k]);
                            }
                        }
                        StoreGroupPixels(v, line, LINE_FLOATS, LANES);
                    }
                    for (std::size_t g = 0; g < GROUP_SLICES; ++g) {
                        fillRow(r + g, whole);
                    }
                }
            }
            for (; r < rows; ++r) {
                fillRow(r, 0);
            }
        }
        // Columns go back four at a time where four follow in a strip: each is kept until the
        // fourth comes.
        Slice<Vec> group[GROUP_SLICES];
        BlurStrip<Vec>(
            job.rows, width, job.radius, job.acrossScales, job.rings,
            [&](std::size_t x, std::size_t offset, const Slice<Vec>& v)
                __attribute__((always_inline)) {
                    float* to = job.columns + (x / STRIP_PIXELS) * height * LINE_FLOATS +
                                (y0 + offset / 3) * LINE_FLOATS + 3 * (x % STRIP_PIXELS);
                    const std::size_t pixels = std::min(LANES, rows - std::min(rows, offset / 3));
                    if constexpr (LANES >= GROUP_LANES) {
                        const std::size_t g = x % GROUP_SLICES;
                        if (x - g + GROUP_SLICES <= width) {
                            std::memcpy(group[g], v, sizeof v);
                            if (g == GROUP_SLICES - 1) {
                                StoreGroupPixels(group, to - 3 * g, LINE_FLOATS, pixels);
                            }
                            return;
                        }
                    }
                    StoreSlicePixels(v, to, LINE_FLOATS, pixels);
                });
    }
    for (std::size_t x0 = 0; x0 < width; x0 += STRIP_PIXELS) {
        const std::size_t values = 3 * std::min(STRIP_PIXELS, width - x0);
        BlurStrip<Vec>(
            job.columns + (x0 / STRIP_PIXELS) * height * LINE_FLOATS, height, job.radius,
            job.downScales, job.rings,
            [&](std::size_t y, std::size_t offset, const Slice<Vec>& v)
                __attribute__((always_inline)) {
                    std::uint8_t* out = job.topLeft + y * job.surfaceStride + 3 * x0 + offset;
                    if (offset + SLICE_FLOATS<Vec> <= values) {
#pragma GCC unroll 3
                        for (std::size_t k = 0; k < SLICE_VECTORS; ++k) {
                            Vec w = v[k] + 0.5f;
                            w = w < 255.0f ? w : 255.0f;
                            PackBytes(w, out + k * LANES);
                        }
                    } else {
                        float line[SLICE_FLOATS<Vec>];
                        std::memcpy(line, v, sizeof v);
                        for (std::size_t j = 0; offset + j < values; ++j) {
                            out[j] = static_cast<std::uint8_t>(std::min(line[j] + 0.5f, 255.0f));
                        }
                    }
                });
    }
}

void BlurPortable(const BlurJob& job) {
    BlurIn<Float4>(job);
}

#if RAVK_X86
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
#if RAVK_X86
    if (level >= SimdLevel::Avx512 && SimdLevelSupported(SimdLevel::Avx512)) {
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
                // Unrolled: a loop of one pixel ran up to 15% slower or faster with where the
                // rest of the program put it.
#pragma GCC unroll 4
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
    const auto radius = static_cast<std::size_t>(std::max<std::int64_t>(1, side / 12));
    // The rings' vectors lie whole vectors apart: started on a cache line, none straddles two.
    scratch.rings.resize(2 * std::min(2 * radius + 2, std::max(width, height)) * STRIP_FLOATS +
                         CACHE_LINE_FLOATS);
    scratch.scales.resize(width + height);
    WindowScales(scratch.scales.data(), width, radius);
    WindowScales(scratch.scales.data() + width, height, radius);
    blur(BlurJob{SurfaceRow(surface, clip.top) + 3 * static_cast<std::size_t>(clip.left),
                 static_cast<std::size_t>(surface.stride), width, height, radius,
                 scratch.rows.data(), scratch.columns.data(), CacheLineAligned(scratch.rings),
                 scratch.scales.data(), scratch.scales.data() + width});
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
