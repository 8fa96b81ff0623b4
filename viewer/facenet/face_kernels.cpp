#include "face_kernels.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#if RAVK_X86
#include <immintrin.h>
#endif

namespace {

// Bytes first .. bytes - 1 of the accumulate kernel.
void AccumulateFrom(const std::uint8_t* const* rows, std::int32_t count, float weight,
                    std::size_t first, std::size_t bytes, bool add, float* sums) {
    for (std::size_t i = first; i < bytes; ++i) {
        std::int32_t sum = 0;
        for (std::int32_t r = 0; r < count; ++r) {
            sum += rows[r][i];
        }
        sums[i] = (add ? sums[i] : 0.0f) + weight * static_cast<float>(sum);
    }
}

void AccumulateScalar(const std::uint8_t* const* rows, std::int32_t count, float weight,
                      std::size_t bytes, bool add, float* sums) {
    AccumulateFrom(rows, count, weight, 0, bytes, add, sums);
}

void ResampleScalar(const float* sums, const std::int32_t* indices, const float* weights,
                    std::int32_t taps, std::int32_t count, float* const out[3]) {
    for (std::int32_t i = 0; i < count; ++i) {
        for (int c = 0; c < 3; ++c) {
            float sum = 0;
            for (std::int32_t t = 0; t < taps; ++t) {
                sum += weights[t * count + i] * sums[indices[t * count + i] + c];
            }
            out[c][i] = sum / 127.5f - 1.0f;
        }
    }
}

void DepthwiseScalar(const DepthwiseRow& row) {
    for (std::int32_t c = 0; c < row.channels; ++c) {
        const std::ptrdiff_t plane = static_cast<std::ptrdiff_t>(c) * row.inStride;
        for (std::int32_t x = 0; x < row.width; ++x) {
            float sum = 0;
            for (int ky = 0; ky < 3; ++ky) {
                for (int kx = 0; kx < 3; ++kx) {
                    sum += row.rows[ky][plane + row.stride * x + kx] *
                           row.weights[(ky * 3 + kx) * row.channels + c];
                }
            }
            row.out[c * row.width + x] = sum;
            if (row.pooled != nullptr) {
                const float* top = row.rows[0] + plane + 2 * x;
                const float* bottom = row.rows[1] + plane + 2 * x;
                row.pooled[c * row.width + x] =
                    std::max(std::max(top[0], top[1]), std::max(bottom[0], bottom[1]));
            }
        }
    }
}

void PointwiseScalar(const PointwiseRow& row) {
    for (std::int32_t o = 0; o < row.outChannels; ++o) {
        float* out = row.out + static_cast<std::ptrdiff_t>(o) * row.outStride;
        std::fill(out, out + row.pixels, row.bias[o]);
        for (std::int32_t k = 0; k < row.inChannels; ++k) {
            const float weight = row.weights[k * row.outChannels + o];
            for (std::int32_t p = 0; p < row.pixels; ++p) {
                out[p] += row.in[k][p] * weight;
            }
        }
        if (row.skip != nullptr && o < row.skipChannels) {
            const float* skip = row.skip + static_cast<std::ptrdiff_t>(o) * row.skipStride;
            for (std::int32_t p = 0; p < row.pixels; ++p) {
                out[p] += skip[p];
            }
        }
        if (row.relu) {
            for (std::int32_t p = 0; p < row.pixels; ++p) {
                out[p] = std::max(out[p], 0.0f);
            }
        }
    }
}

// The kernels for rows of channel-interleaved pixels.
namespace interleaved {

void DepthwiseScalar(const float* const rows[3], std::int32_t stride, std::int32_t width,
                     std::int32_t channels, const float* weights, float* out) {
    for (std::int32_t x = 0; x < width; ++x) {
        for (std::int32_t c = 0; c < channels; ++c) {
            float sum = 0;
            for (int ky = 0; ky < 3; ++ky) {
                for (int kx = 0; kx < 3; ++kx) {
                    sum += rows[ky][(stride * x + kx) * channels + c] *
                           weights[(ky * 3 + kx) * channels + c];
                }
            }
            out[x * channels + c] = sum;
        }
    }
}

void PointwiseScalar(const InterleavedPointwiseRow& row) {
    for (std::int32_t p = 0; p < row.pixels; ++p) {
        const float* in = row.in + p * row.inStride;
        float* out = row.out + p * row.outChannels;
        std::copy(row.bias, row.bias + row.outChannels, out);
        for (std::int32_t k = 0; k < row.inChannels; ++k) {
            const float* weights = row.weights + k * row.outChannels;
            for (std::int32_t o = 0; o < row.outChannels; ++o) {
                out[o] += in[k] * weights[o];
            }
        }
        if (row.skip != nullptr) {
            const float* skip = row.skip + p * row.skipChannels;
            for (std::int32_t o = 0; o < std::min(row.skipChannels, row.outChannels); ++o) {
                out[o] += skip[o];
            }
        }
        if (row.relu) {
            for (std::int32_t o = 0; o < row.outChannels; ++o) {
                out[o] = std::max(out[o], 0.0f);
            }
        }
    }
}

}  // namespace interleaved

#if RAVK_X86

// Each instruction set's kernels live in a namespace of their own: its vector type, its Simd
// operations, the kernels that differ, and face_vector_kernels.inc for those that do not. The
// target pragmas let the file build without instruction-set flags.

#pragma GCC push_options
#pragma GCC target("avx2,fma")
namespace avx2 {

using Vec = __m256;

// The channel mask of an interleaved pixel's vector: channels come in multiples of 8, so a vector
// of them is always whole.
struct Whole {};
[[gnu::always_inline]] inline Whole operator&(Whole, Whole) {
    return {};
}

struct Simd {
    static constexpr int WIDTH = 8;
    // Pixels per tile of the interleaved 1x1 kernel: 4 by three vectors is 12 accumulators of the
    // 16 registers.
    static constexpr int INTERLEAVED_PIXELS = 4;
    // Lanes of all-ones bits.
    using Mask = __m256i;
    using ChannelMask = Whole;
    // The lanes of a vector holding the first n of its pixels.
    [[gnu::always_inline]] static Mask Lanes(std::int32_t n) {
        return _mm256_cmpgt_epi32(_mm256_set1_epi32(n), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    }
    [[gnu::always_inline]] static ChannelMask Channels(std::int32_t, std::int32_t) { return {}; }
    [[gnu::always_inline]] static Vec Zero() { return _mm256_setzero_ps(); }
    [[gnu::always_inline]] static Vec Splat(float value) { return _mm256_set1_ps(value); }
    [[gnu::always_inline]] static Vec Broadcast(const float* p) { return _mm256_broadcast_ss(p); }
    [[gnu::always_inline]] static Vec Load(const float* p) { return _mm256_loadu_ps(p); }
    [[gnu::always_inline]] static Vec Load(const float* p, Whole) { return _mm256_loadu_ps(p); }
    [[gnu::always_inline]] static Vec Load(const float* p, Mask mask) {
        return _mm256_maskload_ps(p, mask);
    }
    [[gnu::always_inline]] static void Store(float* p, Vec value) { _mm256_storeu_ps(p, value); }
    [[gnu::always_inline]] static void Store(float* p, Whole, Vec value) {
        _mm256_storeu_ps(p, value);
    }
    [[gnu::always_inline]] static void Store(float* p, Mask mask, Vec value) {
        _mm256_maskstore_ps(p, mask, value);
    }
    [[gnu::always_inline]] static Vec Fma(Vec a, Vec b, Vec c) { return _mm256_fmadd_ps(a, b, c); }
    using Indices = __m256i;
    [[gnu::always_inline]] static Indices LoadIndices(const std::int32_t* p, Mask mask) {
        return _mm256_maskload_epi32(p, mask);
    }
    [[gnu::always_inline]] static Vec Gather(const float* base, Indices indices) {
        return _mm256_i32gather_ps(base, indices, 4);
    }
    [[gnu::always_inline]] static Vec Add(Vec a, Vec b) { return _mm256_add_ps(a, b); }
    [[gnu::always_inline]] static Vec Sub(Vec a, Vec b) { return _mm256_sub_ps(a, b); }
    [[gnu::always_inline]] static Vec Div(Vec a, Vec b) { return _mm256_div_ps(a, b); }
    [[gnu::always_inline]] static Vec Max(Vec a, Vec b) { return _mm256_max_ps(a, b); }
    // The even and odd elements of the sixteen floats a, b.
    [[gnu::always_inline]] static Vec Evens(Vec a, Vec b) {
        return _mm256_castpd_ps(
            _mm256_permute4x64_pd(_mm256_castps_pd(_mm256_shuffle_ps(a, b, 0x88)), 0xD8));
    }
    [[gnu::always_inline]] static Vec Odds(Vec a, Vec b) {
        return _mm256_castpd_ps(
            _mm256_permute4x64_pd(_mm256_castps_pd(_mm256_shuffle_ps(a, b, 0xDD)), 0xD8));
    }
};

template <bool Add>
void AccumulateRows(const std::uint8_t* const* rows, std::int32_t count, float weight,
                    std::size_t bytes, float* sums) {
    const __m256 w = _mm256_set1_ps(weight);
    std::size_t i = 0;
    for (; i + 16 <= bytes; i += 16) {
        __m256i sum = _mm256_setzero_si256();
        for (std::int32_t r = 0; r < count; ++r) {
            sum = _mm256_add_epi16(sum, _mm256_cvtepu8_epi16(_mm_loadu_si128(
                                            reinterpret_cast<const __m128i*>(rows[r] + i))));
        }
        for (int half = 0; half < 2; ++half) {
            const __m256 values = _mm256_cvtepi32_ps(_mm256_cvtepu16_epi32(
                half == 0 ? _mm256_castsi256_si128(sum) : _mm256_extracti128_si256(sum, 1)));
            float* to = sums + i + 8 * half;
            _mm256_storeu_ps(to, Add ? _mm256_fmadd_ps(w, values, _mm256_loadu_ps(to))
                                     : _mm256_mul_ps(w, values));
        }
    }
    AccumulateFrom(rows, count, weight, i, bytes, Add, sums);
}

// Stride 1: output pixels x..x+7 of one channel (when Masked, the first n of them), nine taps of
// nine loads.
template <bool Masked>
[[gnu::always_inline]] inline void DepthwiseVector1(const float* const in[3], const Vec w[9],
                                                    std::int32_t x, std::int32_t n, float* out) {
    const Simd::Mask lanes = Simd::Lanes(n);
    Vec sum = Simd::Zero();
#pragma GCC unroll 9
    for (int tap = 0; tap < 9; ++tap) {
        const float* from = in[tap / 3] + x + tap % 3;
        sum = Simd::Fma(Masked ? Simd::Load(from, lanes) : Simd::Load(from), w[tap], sum);
    }
    if constexpr (Masked) {
        Simd::Store(out + x, lanes, sum);
    } else {
        Simd::Store(out + x, sum);
    }
}

void DepthwisePlane1(const float* const in[3], const Vec w[9], std::int32_t width, float* out) {
    std::int32_t x = 0;
    for (; x + 8 <= width; x += 8) {
        DepthwiseVector1<false>(in, w, x, 8, out);
    }
    if (x < width) {
        DepthwiseVector1<true>(in, w, x, width - x, out);
    }
}

#include "face_vector_kernels.inc"

void Pointwise(const PointwiseRow& row) {
    // Tiles of 4 channels by 24 pixels keep 12 accumulators in registers.
    for (std::int32_t o = 0; o < row.outChannels; o += 4) {
        std::int32_t p = 0;
        for (; p + 24 <= row.pixels; p += 24) {
            PointwiseTile<4, 3, false>(row, o, p);
        }
        if (p + 16 <= row.pixels) {
            PointwiseTile<4, 2, false>(row, o, p);
            p += 16;
        }
        if (p + 8 <= row.pixels) {
            PointwiseTile<4, 1, false>(row, o, p);
            p += 8;
        }
        if (p < row.pixels) {
            PointwiseTile<4, 1, true>(row, o, p);
        }
    }
}

}  // namespace avx2
#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vl,avx512dq,avx2,fma")
// GCC 12's AVX-512 intrinsics pass an undefined vector where no mask is given, which it then
// reports as maybe uninitialized.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
namespace avx512 {

// 16 pixels a vector, the last vector of a row masked to the pixels that are left.
using Vec = __m512;

struct Simd {
    static constexpr int WIDTH = 16;
    // Eight pixels by three vectors is 24 accumulators of the 32 registers.
    static constexpr int INTERLEAVED_PIXELS = 8;
    using Mask = __mmask16;
    using ChannelMask = __mmask16;
    [[gnu::always_inline]] static Mask Lanes(std::int32_t n) {
        return n >= 16 ? Mask(0xFFFF) : n <= 0 ? Mask(0) : Mask((1u << n) - 1);
    }
    // The lanes of the vector holding channels c.. of a pixel of `channels`.
    [[gnu::always_inline]] static ChannelMask Channels(std::int32_t c, std::int32_t channels) {
        return Lanes(channels - c);
    }
    [[gnu::always_inline]] static Vec Zero() { return _mm512_setzero_ps(); }
    [[gnu::always_inline]] static Vec Splat(float value) { return _mm512_set1_ps(value); }
    [[gnu::always_inline]] static Vec Broadcast(const float* p) { return _mm512_set1_ps(*p); }
    // Masked loads and stores cost the 1x1 kernel several percent, so whole vectors go without.
    [[gnu::always_inline]] static Vec Load(const float* p) { return _mm512_loadu_ps(p); }
    [[gnu::always_inline]] static Vec Load(const float* p, Mask mask) {
        return _mm512_maskz_loadu_ps(mask, p);
    }
    [[gnu::always_inline]] static void Store(float* p, Vec value) { _mm512_storeu_ps(p, value); }
    [[gnu::always_inline]] static void Store(float* p, Mask mask, Vec value) {
        _mm512_mask_storeu_ps(p, mask, value);
    }
    [[gnu::always_inline]] static Vec Fma(Vec a, Vec b, Vec c) { return _mm512_fmadd_ps(a, b, c); }
    using Indices = __m512i;
    [[gnu::always_inline]] static Indices LoadIndices(const std::int32_t* p, Mask mask) {
        return _mm512_maskz_loadu_epi32(mask, p);
    }
    [[gnu::always_inline]] static Vec Gather(const float* base, Indices indices) {
        return _mm512_i32gather_ps(indices, base, 4);
    }
    [[gnu::always_inline]] static Vec Add(Vec a, Vec b) { return _mm512_add_ps(a, b); }
    [[gnu::always_inline]] static Vec Sub(Vec a, Vec b) { return _mm512_sub_ps(a, b); }
    [[gnu::always_inline]] static Vec Div(Vec a, Vec b) { return _mm512_div_ps(a, b); }
    [[gnu::always_inline]] static Vec Max(Vec a, Vec b) { return _mm512_max_ps(a, b); }
    [[gnu::always_inline]] static Vec Evens(Vec a, Vec b) {
        return _mm512_permutex2var_ps(
            a, _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30), b);
    }
    [[gnu::always_inline]] static Vec Odds(Vec a, Vec b) {
        return _mm512_permutex2var_ps(
            a, _mm512_setr_epi32(1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31), b);
    }
};

// Bytes i..i+31 of the rows (when Masked, the first `left` of them).
template <bool Masked, bool Add>
[[gnu::always_inline]] inline void AccumulateBytes(const std::uint8_t* const* rows,
                                                   std::int32_t count, __m512 w, std::size_t i,
                                                   std::int32_t left, float* sums) {
    const __mmask32 mask = Masked ? (__mmask32(1) << left) - 1 : ~__mmask32(0);
    __m512i sum = _mm512_setzero_si512();
    for (std::int32_t r = 0; r < count; ++r) {
        const __m256i bytes =
            Masked ? _mm256_maskz_loadu_epi8(mask, rows[r] + i)
                   : _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[r] + i));
        sum = _mm512_add_epi16(sum, _mm512_cvtepu8_epi16(bytes));
    }
    for (int half = 0; half < 2; ++half) {
        const __m512 values = _mm512_cvtepi32_ps(_mm512_cvtepu16_epi32(
            half == 0 ? _mm512_castsi512_si256(sum) : _mm512_extracti64x4_epi64(sum, 1)));
        const __mmask16 lanes = Simd::Lanes(left - 16 * half);
        float* to = sums + i + 16 * half;
        const __m512 value =
            Add ? _mm512_fmadd_ps(w, values, Masked ? Simd::Load(to, lanes) : Simd::Load(to))
                : _mm512_mul_ps(w, values);
        if (Masked) {
            Simd::Store(to, lanes, value);
        } else {
            Simd::Store(to, value);
        }
    }
}

// 32 bytes at a time, the last ones masked.
template <bool Add>
void AccumulateRows(const std::uint8_t* const* rows, std::int32_t count, float weight,
                    std::size_t bytes, float* sums) {
    const __m512 w = _mm512_set1_ps(weight);
    std::size_t i = 0;
    for (; i + 32 <= bytes; i += 32) {
        AccumulateBytes<false, Add>(rows, count, w, i, 32, sums);
    }
    if (i < bytes) {
        AccumulateBytes<true, Add>(rows, count, w, i, static_cast<std::int32_t>(bytes - i), sums);
    }
}

// Input pixels i..i+15 of the three rows (those of the mask, the others zero) times the weights of
// tap column kx, summed over the rows.
struct Columns {
    __m512 sums[3];
};

[[gnu::always_inline]] inline Columns ColumnSums(const float* const in[3], const __m512 w[9],
                                                 std::int32_t i, __mmask16 mask) {
    __m512 rows[3];
#pragma GCC unroll 3
    for (int ky = 0; ky < 3; ++ky) {
        rows[ky] = _mm512_maskz_loadu_ps(mask, in[ky] + i);
        // Kept in a register: folded into the three multiply-adds that use it, it would be
        // loaded three times.
        asm("" : "+v"(rows[ky]));
    }
    Columns columns;
#pragma GCC unroll 3
    for (int kx = 0; kx < 3; ++kx) {
        columns.sums[kx] = _mm512_fmadd_ps(
            rows[2], w[6 + kx], _mm512_fmadd_ps(rows[1], w[3 + kx], _mm512_mul_ps(rows[0], w[kx])));
    }
    return columns;
}

// Output pixels x..x+15 from the column sums at them, at the sixteen before and the sixteen after:
// tap column 0 one pixel back, column 2 one on.
[[gnu::always_inline]] inline __m512 AddColumns(__m512 before, const Columns& current,
                                                __m512 after) {
    const __m512 back = _mm512_castsi512_ps(
        _mm512_alignr_epi32(_mm512_castps_si512(current.sums[0]), _mm512_castps_si512(before), 15));
    const __m512 on = _mm512_castsi512_ps(
        _mm512_alignr_epi32(_mm512_castps_si512(after), _mm512_castps_si512(current.sums[2]), 1));
    return _mm512_add_ps(_mm512_add_ps(current.sums[1], back), on);
}

// Stride 1. A row of one vector is nine taps of nine loads. A longer one adds the column sums of
// input pixels x - 1, x and x + 1 (counted from column 0, where the planes start on a cache line),
// so each vector of outputs needs only three whole-line loads and two lane shifts where nine loads
// would take longer, most of them split across cache lines. The border columns, zero, are not read:
// their sums would hold up a plane's first vector and add to its last.
void DepthwisePlane1(const float* const rows[3], const __m512 w[9], std::int32_t width,
                     float* out) {
    if (width <= 16) {
        const __mmask16 mask = Simd::Lanes(width);
        __m512 sum = _mm512_setzero_ps();
#pragma GCC unroll 9
        for (int tap = 0; tap < 9; ++tap) {
            sum =
                _mm512_fmadd_ps(_mm512_maskz_loadu_ps(mask, rows[tap / 3] + tap % 3), w[tap], sum);
        }
        _mm512_mask_storeu_ps(out, mask, sum);
        return;
    }
    const float* const in[3] = {rows[0] + 1, rows[1] + 1, rows[2] + 1};
    // Column -1 is zero, the last lane of the vector before column 0.
    __m512 before = _mm512_setzero_ps();
    Columns current = ColumnSums(in, w, 0, 0xFFFF);
    std::int32_t x = 0;
    for (; x + 32 <= width; x += 16) {
        const Columns next = ColumnSums(in, w, x + 16, 0xFFFF);
        _mm512_storeu_ps(out + x, AddColumns(before, current, next.sums[2]));
        before = current.sums[0];
        current = next;
    }
    for (; x + 16 < width; x += 16) {
        const Columns next = ColumnSums(in, w, x + 16, Simd::Lanes(width - x - 16));
        _mm512_storeu_ps(out + x, AddColumns(before, current, next.sums[2]));
        before = current.sums[0];
        current = next;
    }
    // Column width is zero too.
    _mm512_mask_storeu_ps(out + x, Simd::Lanes(width - x),
                          AddColumns(before, current, _mm512_setzero_ps()));
}

#include "face_vector_kernels.inc"

// The tile at pixel p, masked only when it reaches past the row's end.
template <int NO, int NV>
void PointwiseTileAt(const PointwiseRow& row, std::int32_t o, std::int32_t p) {
    if (p + 16 * NV <= row.pixels) {
        PointwiseTile<NO, NV, false>(row, o, p);
    } else {
        PointwiseTile<NO, NV, true>(row, o, p);
    }
}

// NO channels by the whole row, in tiles of up to 24 accumulators: twelve channels by two vectors,
// or eight by three (by two in rows of two or four vectors).
template <int NO>
void PointwisePixels(const PointwiseRow& row, std::int32_t o) {
    const std::int32_t vectors = (row.pixels + 15) / 16;
    std::int32_t v = 0;
    if (NO == 8 && vectors != 2 && vectors != 4) {
        for (; v + 3 <= vectors; v += 3) {
            PointwiseTileAt<NO, 3>(row, o, 16 * v);
        }
    }
    for (; v + 2 <= vectors; v += 2) {
        PointwiseTileAt<NO, 2>(row, o, 16 * v);
    }
    if (v < vectors) {
        PointwiseTileAt<NO, 1>(row, o, 16 * v);
    }
}

void Pointwise(const PointwiseRow& row) {
    // A row of one vector takes up to 24 channels at a time, to keep as many accumulators busy.
    std::int32_t o = 0;
    if (row.pixels <= 16) {
        for (; o + 24 <= row.outChannels; o += 24) {
            PointwiseTileAt<24, 1>(row, o, 0);
        }
        if (o + 16 <= row.outChannels) {
            PointwiseTileAt<16, 1>(row, o, 0);
            o += 16;
        }
    } else if (row.outChannels % 12 == 0) {
        for (; o < row.outChannels; o += 12) {
            PointwisePixels<12>(row, o);
        }
    }
    for (; o < row.outChannels; o += 8) {
        PointwisePixels<8>(row, o);
    }
}

}  // namespace avx512
#pragma GCC diagnostic pop
#pragma GCC pop_options

#endif

}  // namespace

FaceKernels SelectFaceKernels(SimdLevel level) {
#if RAVK_X86
    if (level >= SimdLevel::Avx512 && SimdLevelSupported(SimdLevel::Avx512)) {
        return {avx512::Accumulate,
                avx512::Resample,
                avx512::Depthwise,
                avx512::Pointwise,
                avx512::interleaved::Depthwise,
                avx512::interleaved::Pointwise};
    }
    if (level == SimdLevel::Avx2 && SimdLevelSupported(level)) {
        return {avx2::Accumulate,
                avx2::Resample,
                avx2::Depthwise,
                avx2::Pointwise,
                avx2::interleaved::Depthwise,
                avx2::interleaved::Pointwise};
    }
#else
    (void)level;
#endif
    return {AccumulateScalar,
            ResampleScalar,
            DepthwiseScalar,
            PointwiseScalar,
            interleaved::DepthwiseScalar,
            interleaved::PointwiseScalar};
}
