#include "face_kernels.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

// Bytes first .. bytes - 1 of the accumulate kernel.
void AccumulateFrom(const std::uint8_t* const* rows, std::int32_t count, float weight,
                    std::size_t first, std::size_t bytes, float* sums) {
    for (std::size_t i = first; i < bytes; ++i) {
        std::int32_t sum = 0;
        for (std::int32_t r = 0; r < count; ++r) {
            sum += rows[r][i];
        }
        sums[i] += weight * static_cast<float>(sum);
    }
}

void AccumulateScalar(const std::uint8_t* const* rows, std::int32_t count, float weight,
                      std::size_t bytes, float* sums) {
    AccumulateFrom(rows, count, weight, 0, bytes, sums);
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

#if defined(__x86_64__) || defined(__i386__)

#pragma GCC push_options
#pragma GCC target("avx2,fma")

void AccumulateAvx2(const std::uint8_t* const* rows, std::int32_t count, float weight,
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
            _mm256_storeu_ps(to, _mm256_fmadd_ps(w, values, _mm256_loadu_ps(to)));
        }
    }
    AccumulateFrom(rows, count, weight, i, bytes, sums);
}

// Eight pixels at a time, each tap's sums gathered; past count the taps read as index 0, weight 0.
void ResampleAvx2(const float* sums, const std::int32_t* indices, const float* weights,
                  std::int32_t taps, std::int32_t count, float* const out[3]) {
    for (std::int32_t i = 0; i < count; i += 8) {
        const __m256i lanes = _mm256_cmpgt_epi32(_mm256_set1_epi32(count - i),
                                                 _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
        for (int c = 0; c < 3; ++c) {
            __m256 sum = _mm256_setzero_ps();
            for (std::int32_t t = 0; t < taps; ++t) {
                const std::int32_t at = t * count + i;
                const __m256i index = _mm256_maskload_epi32(indices + at, lanes);
                sum = _mm256_fmadd_ps(_mm256_maskload_ps(weights + at, lanes),
                                      _mm256_i32gather_ps(sums + c, index, 4), sum);
            }
            _mm256_maskstore_ps(
                out[c] + i, lanes,
                _mm256_sub_ps(_mm256_div_ps(sum, _mm256_set1_ps(127.5f)), _mm256_set1_ps(1.0f)));
        }
    }
}

// The lanes of a vector holding the first n of its pixels.
[[gnu::always_inline]] inline __m256i Lanes(std::int32_t n) {
    return _mm256_cmpgt_epi32(_mm256_set1_epi32(n), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
}

// Eight floats from p; when Masked only the first n of them, the others read as zero.
template <bool Masked>
[[gnu::always_inline]] inline __m256 Load(const float* p, std::int32_t n) {
    if constexpr (Masked) {
        return _mm256_maskload_ps(p, Lanes(n));
    } else {
        return _mm256_loadu_ps(p);
    }
}

template <bool Masked>
[[gnu::always_inline]] inline void Store(float* p, std::int32_t n, __m256 value) {
    if constexpr (Masked) {
        _mm256_maskstore_ps(p, Lanes(n), value);
    } else {
        _mm256_storeu_ps(p, value);
    }
}

// The even and odd elements of the sixteen floats a, b.
[[gnu::always_inline]] inline __m256 Evens(__m256 a, __m256 b) {
    return _mm256_castpd_ps(
        _mm256_permute4x64_pd(_mm256_castps_pd(_mm256_shuffle_ps(a, b, 0x88)), 0xD8));
}
[[gnu::always_inline]] inline __m256 Odds(__m256 a, __m256 b) {
    return _mm256_castpd_ps(
        _mm256_permute4x64_pd(_mm256_castps_pd(_mm256_shuffle_ps(a, b, 0xDD)), 0xD8));
}

// Output pixels x..x+7 of one channel (when Masked, the first n of them).
template <int Stride, bool Masked>
[[gnu::always_inline]] inline void DepthwiseVector(const DepthwiseRow& row,
                                                   const float* const in[3], const __m256 w[9],
                                                   std::int32_t x, std::int32_t n, float* out,
                                                   float* pooled) {
    __m256 sum = _mm256_setzero_ps();
    __m256 pool = _mm256_setzero_ps();
#pragma GCC unroll 3
    for (int ky = 0; ky < 3; ++ky) {
        const float* from = in[ky] + Stride * x;
        if constexpr (Stride == 1) {
#pragma GCC unroll 3
            for (int kx = 0; kx < 3; ++kx) {
                sum = _mm256_fmadd_ps(Load<Masked>(from + kx, n), w[ky * 3 + kx], sum);
            }
        } else {
            // Pixels 2x, 2x + 1 and 2x + 2 of eight outputs, from sixteen and sixteen more.
            const __m256 a = Load<Masked>(from, 2 * n), b = Load<Masked>(from + 8, 2 * n - 8);
            const __m256 a1 = Load<Masked>(from + 1, 2 * n);
            const __m256 b1 = Load<Masked>(from + 9, 2 * n - 8);
            const __m256 even = Evens(a, b), odd = Odds(a, b);
            sum = _mm256_fmadd_ps(even, w[ky * 3], sum);
            sum = _mm256_fmadd_ps(odd, w[ky * 3 + 1], sum);
            sum = _mm256_fmadd_ps(Odds(a1, b1), w[ky * 3 + 2], sum);
            if (ky < 2) {
                const __m256 high = _mm256_max_ps(even, odd);
                pool = ky == 0 ? high : _mm256_max_ps(pool, high);
            }
        }
    }
    Store<Masked>(out + x, n, sum);
    if (Stride == 2 && row.pooled != nullptr) {
        Store<Masked>(pooled + x, n, pool);
    }
}

template <int Stride>
void DepthwiseChannels(const DepthwiseRow& row) {
    for (std::int32_t c = 0; c < row.channels; ++c) {
        const std::ptrdiff_t plane = static_cast<std::ptrdiff_t>(c) * row.inStride;
        const float* const in[3] = {row.rows[0] + plane, row.rows[1] + plane, row.rows[2] + plane};
        __m256 w[9];
#pragma GCC unroll 9
        for (int tap = 0; tap < 9; ++tap) {
            w[tap] = _mm256_broadcast_ss(row.weights + tap * row.channels + c);
        }
        float* out = row.out + c * row.width;
        float* pooled = row.pooled == nullptr ? nullptr : row.pooled + c * row.width;
        std::int32_t x = 0;
        for (; x + 8 <= row.width; x += 8) {
            DepthwiseVector<Stride, false>(row, in, w, x, 8, out, pooled);
        }
        if (x < row.width) {
            DepthwiseVector<Stride, true>(row, in, w, x, row.width - x, out, pooled);
        }
    }
}

void DepthwiseAvx2(const DepthwiseRow& row) {
    if (row.stride == 1) {
        DepthwiseChannels<1>(row);
    } else {
        DepthwiseChannels<2>(row);
    }
}

// Output channels o..o+NO-1 by pixels p..p+8*NV-1 (when Masked, the last vector holds only the
// pixels up to the row's end): NO x NV accumulators in registers, NV input vectors and NO
// broadcast weights per input channel.
template <int NO, int NV, bool Masked>
[[gnu::always_inline]] inline void PointwiseTile(const PointwiseRow& row, std::int32_t o,
                                                 std::int32_t p) {
    const std::int32_t n = row.pixels - p - 8 * (NV - 1);  // pixels of the last vector
    __m256 sum[NO][NV];
#pragma GCC unroll 8
    for (int i = 0; i < NO; ++i) {
        const __m256 bias = _mm256_broadcast_ss(row.bias + o + i);
#pragma GCC unroll 4
        for (int j = 0; j < NV; ++j) {
            sum[i][j] = bias;
        }
    }
    const float* weights = row.weights + o;
    for (std::int32_t k = 0; k < row.inChannels; ++k, weights += row.outChannels) {
        const float* in = row.in[k] + p;
        __m256 a[NV];
#pragma GCC unroll 4
        for (int j = 0; j < NV; ++j) {
            a[j] = j + 1 == NV ? Load<Masked>(in + 8 * j, n) : _mm256_loadu_ps(in + 8 * j);
        }
#pragma GCC unroll 8
        for (int i = 0; i < NO; ++i) {
            const __m256 w = _mm256_broadcast_ss(weights + i);
#pragma GCC unroll 4
            for (int j = 0; j < NV; ++j) {
                sum[i][j] = _mm256_fmadd_ps(a[j], w, sum[i][j]);
            }
        }
    }
#pragma GCC unroll 8
    for (int i = 0; i < NO; ++i) {
        const std::ptrdiff_t channel = o + i;
        float* out = row.out + channel * row.outStride + p;
        const float* skip = row.skip != nullptr && channel < row.skipChannels
                                ? row.skip + channel * row.skipStride + p
                                : nullptr;
#pragma GCC unroll 4
        for (int j = 0; j < NV; ++j) {
            const bool masked = Masked && j + 1 == NV;
            __m256 value = sum[i][j];
            if (skip != nullptr) {
                value = _mm256_add_ps(
                    value, masked ? Load<true>(skip + 8 * j, n) : _mm256_loadu_ps(skip + 8 * j));
            }
            if (row.relu) {
                value = _mm256_max_ps(value, _mm256_setzero_ps());
            }
            if (masked) {
                Store<true>(out + 8 * j, n, value);
            } else {
                _mm256_storeu_ps(out + 8 * j, value);
            }
        }
    }
}

void PointwiseAvx2(const PointwiseRow& row) {
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

namespace interleaved {

// Output pixels x..x+XR-1 of one channel vector: each input column is loaded once and used by
// every output whose 3 x 3 window holds it.
template <int XR>
[[gnu::always_inline]] inline void DepthwiseBlock(const float* const rows[3], std::int32_t stride,
                                                  std::int32_t channels, const __m256 w[9],
                                                  std::int32_t x, std::int32_t c, float* out) {
    __m256 sum[XR];
#pragma GCC unroll 8
    for (int i = 0; i < XR; ++i) {
        sum[i] = _mm256_setzero_ps();
    }
    const int columns = stride * (XR - 1) + 3;
#pragma GCC unroll 3
    for (int ky = 0; ky < 3; ++ky) {
        const float* row = rows[ky] + stride * x * channels + c;
#pragma GCC unroll 16
        for (int column = 0; column < columns; ++column) {
            const __m256 value = _mm256_loadu_ps(row + column * channels);
#pragma GCC unroll 8
            for (int i = 0; i < XR; ++i) {
                const int kx = column - stride * i;
                if (kx >= 0 && kx < 3) {
                    sum[i] = _mm256_fmadd_ps(value, w[ky * 3 + kx], sum[i]);
                }
            }
        }
    }
#pragma GCC unroll 8
    for (int i = 0; i < XR; ++i) {
        _mm256_storeu_ps(out + (x + i) * channels + c, sum[i]);
    }
}

template <int Stride>
void DepthwiseStride(const float* const rows[3], std::int32_t width, std::int32_t channels,
                     const float* weights, float* out) {
    constexpr int XR = 4;
    for (std::int32_t c = 0; c < channels; c += 8) {
        __m256 w[9];
        for (int tap = 0; tap < 9; ++tap) {
            w[tap] = _mm256_loadu_ps(weights + tap * channels + c);
        }
        std::int32_t x = 0;
        for (; x + XR <= width; x += XR) {
            DepthwiseBlock<XR>(rows, Stride, channels, w, x, c, out);
        }
        for (; x < width; ++x) {
            DepthwiseBlock<1>(rows, Stride, channels, w, x, c, out);
        }
    }
}

void DepthwiseAvx2(const float* const rows[3], std::int32_t stride, std::int32_t width,
                   std::int32_t channels, const float* weights, float* out) {
    if (stride == 1) {
        DepthwiseStride<1>(rows, width, channels, weights, out);
    } else {
        DepthwiseStride<2>(rows, width, channels, weights, out);
    }
}

// Pixels p..p+MR-1 by output channels o..o+8*NV-1: MR x NV accumulators in registers, one
// broadcast input value per pixel and NV weight vectors per input channel.
template <int MR, int NV>
[[gnu::always_inline]] inline void PointwiseTile(const InterleavedPointwiseRow& row, std::int32_t p,
                                                 std::int32_t o) {
    __m256 sum[MR][NV];
#pragma GCC unroll 4
    for (int j = 0; j < NV; ++j) {
        const __m256 bias = _mm256_loadu_ps(row.bias + o + 8 * j);
#pragma GCC unroll 4
        for (int i = 0; i < MR; ++i) {
            sum[i][j] = bias;
        }
    }
    // Local copies and pointer steps keep the loop free of reloads and index arithmetic.
    const float* in[MR];
#pragma GCC unroll 4
    for (int i = 0; i < MR; ++i) {
        in[i] = row.in + static_cast<std::ptrdiff_t>(p + i) * row.inStride;
    }
    const float* weights = row.weights + o;
    const std::ptrdiff_t weightStep = row.outChannels;
    const std::ptrdiff_t inChannels = row.inChannels;
    for (std::ptrdiff_t k = 0; k < inChannels; ++k, weights += weightStep) {
        __m256 w[NV];
#pragma GCC unroll 4
        for (int j = 0; j < NV; ++j) {
            w[j] = _mm256_loadu_ps(weights + 8 * j);
        }
#pragma GCC unroll 4
        for (int i = 0; i < MR; ++i) {
            const __m256 a = _mm256_broadcast_ss(in[i] + k);
#pragma GCC unroll 4
            for (int j = 0; j < NV; ++j) {
                sum[i][j] = _mm256_fmadd_ps(a, w[j], sum[i][j]);
            }
        }
    }
    const __m256 zero = _mm256_setzero_ps();
#pragma GCC unroll 4
    for (int i = 0; i < MR; ++i) {
#pragma GCC unroll 4
        for (int j = 0; j < NV; ++j) {
            const std::int32_t channel = o + 8 * j;
            __m256 value = sum[i][j];
            if (row.skip != nullptr && channel < row.skipChannels) {
                value = _mm256_add_ps(
                    value, _mm256_loadu_ps(row.skip + (p + i) * row.skipChannels + channel));
            }
            if (row.relu) {
                value = _mm256_max_ps(value, zero);
            }
            _mm256_storeu_ps(row.out + (p + i) * row.outChannels + channel, value);
        }
    }
}

template <int NV>
void PointwiseColumns(const InterleavedPointwiseRow& row, std::int32_t o) {
    constexpr int MR = 4;
    std::int32_t p = 0;
    for (; p + MR <= row.pixels; p += MR) {
        PointwiseTile<MR, NV>(row, p, o);
    }
    for (; p < row.pixels; ++p) {
        PointwiseTile<1, NV>(row, p, o);
    }
}

void PointwiseAvx2(const InterleavedPointwiseRow& row) {
    // Column tiles of 24 channels keep 12 accumulators in registers; 16 and 8 finish the rest.
    for (std::int32_t o = 0; o < row.outChannels;) {
        const std::int32_t left = row.outChannels - o;
        if (left == 8) {
            PointwiseColumns<1>(row, o);
            o += 8;
        } else if (left == 16 || left == 32) {
            PointwiseColumns<2>(row, o);
            o += 16;
        } else {
            PointwiseColumns<3>(row, o);
            o += 24;
        }
    }
}

}  // namespace interleaved

#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vl,avx512dq,avx2,fma")
// GCC 12's AVX-512 intrinsics pass an undefined vector where no mask is given, which it then
// reports as maybe uninitialized.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// The AVX-512 kernels: 16 pixels a vector, the last vector of a row masked to the pixels that are
// left.

// The lanes of a vector holding the first n of its pixels.
[[gnu::always_inline]] inline __mmask16 Lanes16(std::int32_t n) {
    return n >= 16 ? __mmask16(0xFFFF) : n <= 0 ? __mmask16(0) : __mmask16((1u << n) - 1);
}

// 32 bytes at a time, the last ones masked.
void AccumulateAvx512(const std::uint8_t* const* rows, std::int32_t count, float weight,
                      std::size_t bytes, float* sums) {
    const __m512 w = _mm512_set1_ps(weight);
    for (std::size_t i = 0; i < bytes; i += 32) {
        const auto left = static_cast<std::int32_t>(std::min<std::size_t>(32, bytes - i));
        const __mmask32 mask = left == 32 ? ~__mmask32(0) : (__mmask32(1) << left) - 1;
        __m512i sum = _mm512_setzero_si512();
        for (std::int32_t r = 0; r < count; ++r) {
            sum = _mm512_add_epi16(
                sum, _mm512_cvtepu8_epi16(_mm256_maskz_loadu_epi8(mask, rows[r] + i)));
        }
        for (int half = 0; half < 2; ++half) {
            const __m512 values = _mm512_cvtepi32_ps(_mm512_cvtepu16_epi32(
                half == 0 ? _mm512_castsi512_si256(sum) : _mm512_extracti64x4_epi64(sum, 1)));
            const __mmask16 lanes = Lanes16(left - 16 * half);
            float* to = sums + i + 16 * half;
            _mm512_mask_storeu_ps(to, lanes,
                                  _mm512_fmadd_ps(w, values, _mm512_maskz_loadu_ps(lanes, to)));
        }
    }
}

// As ResampleAvx2, sixteen pixels at a time.
void ResampleAvx512(const float* sums, const std::int32_t* indices, const float* weights,
                    std::int32_t taps, std::int32_t count, float* const out[3]) {
    for (std::int32_t i = 0; i < count; i += 16) {
        const __mmask16 mask = Lanes16(count - i);
        for (int c = 0; c < 3; ++c) {
            __m512 sum = _mm512_setzero_ps();
            for (std::int32_t t = 0; t < taps; ++t) {
                const std::int32_t at = t * count + i;
                const __m512i index = _mm512_maskz_loadu_epi32(mask, indices + at);
                sum = _mm512_fmadd_ps(_mm512_maskz_loadu_ps(mask, weights + at),
                                      _mm512_i32gather_ps(index, sums + c, 4), sum);
            }
            _mm512_mask_storeu_ps(
                out[c] + i, mask,
                _mm512_sub_ps(_mm512_div_ps(sum, _mm512_set1_ps(127.5f)), _mm512_set1_ps(1.0f)));
        }
    }
}

// Input pixels i..i+15 of the three rows (those of the mask, the others zero) times the weights of
// tap column kx, summed over the rows.
struct Columns512 {
    __m512 sums[3];
};

[[gnu::always_inline]] inline Columns512 ColumnSums512(const float* const in[3], const __m512 w[9],
                                                       std::int32_t i, __mmask16 mask) {
    __m512 rows[3];
#pragma GCC unroll 3
    for (int ky = 0; ky < 3; ++ky) {
        rows[ky] = _mm512_maskz_loadu_ps(mask, in[ky] + i);
        // Kept in a register: folded into the three multiply-adds that use it, it would be
        // loaded three times.
        asm("" : "+v"(rows[ky]));
    }
    Columns512 columns;
#pragma GCC unroll 3
    for (int kx = 0; kx < 3; ++kx) {
        columns.sums[kx] = _mm512_fmadd_ps(
            rows[2], w[6 + kx], _mm512_fmadd_ps(rows[1], w[3 + kx], _mm512_mul_ps(rows[0], w[kx])));
    }
    return columns;
}

// Output pixels x..x+15 from the column sums at them, at the sixteen before and the sixteen after:
// tap column 0 one pixel back, column 2 one on.
[[gnu::always_inline]] inline __m512 AddColumns512(__m512 before, const Columns512& current,
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
// would take longer, most of them split across cache lines. The border columns are read alone.
void DepthwisePlane1_512(const float* const rows[3], const __m512 w[9], std::int32_t width,
                         float* out) {
    if (width <= 16) {
        const __mmask16 mask = Lanes16(width);
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
    // Column -1, the last lane of the vector before column 0.
    __m512 before = ColumnSums512(in, w, -16, 0x8000).sums[0];
    Columns512 current = ColumnSums512(in, w, 0, 0xFFFF);
    std::int32_t x = 0;
    for (; x + 32 <= width; x += 16) {
        const Columns512 next = ColumnSums512(in, w, x + 16, 0xFFFF);
        _mm512_storeu_ps(out + x, AddColumns512(before, current, next.sums[2]));
        before = current.sums[0];
        current = next;
    }
    // Up to column width, the border.
    for (; x < width; x += 16) {
        const Columns512 next = ColumnSums512(in, w, x + 16, Lanes16(width + 1 - x - 16));
        _mm512_mask_storeu_ps(out + x, Lanes16(width - x),
                              AddColumns512(before, current, next.sums[2]));
        before = current.sums[0];
        current = next;
    }
}

// Stride 2: output pixels x..x+15 from the even and odd pixels of 32 and 32 more.
void DepthwisePlane2_512(const float* const in[3], const __m512 w[9], std::int32_t width,
                         float* out, float* pooled) {
    const __m512i evens =
        _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
    const __m512i odds = _mm512_add_epi32(evens, _mm512_set1_epi32(1));
    for (std::int32_t x = 0; x < width; x += 16) {
        const std::int32_t n = width - x;
        const __mmask16 first = Lanes16(2 * n), second = Lanes16(2 * n - 16);
        __m512 sum = _mm512_setzero_ps();
        __m512 pool = _mm512_setzero_ps();
#pragma GCC unroll 3
        for (int ky = 0; ky < 3; ++ky) {
            const float* from = in[ky] + 2 * x;
            const __m512 a = _mm512_maskz_loadu_ps(first, from);
            const __m512 b = _mm512_maskz_loadu_ps(second, from + 16);
            const __m512 a1 = _mm512_maskz_loadu_ps(first, from + 1);
            const __m512 b1 = _mm512_maskz_loadu_ps(second, from + 17);
            const __m512 even = _mm512_permutex2var_ps(a, evens, b);
            const __m512 odd = _mm512_permutex2var_ps(a, odds, b);
            sum = _mm512_fmadd_ps(even, w[ky * 3], sum);
            sum = _mm512_fmadd_ps(odd, w[ky * 3 + 1], sum);
            sum = _mm512_fmadd_ps(_mm512_permutex2var_ps(a1, odds, b1), w[ky * 3 + 2], sum);
            if (ky < 2) {
                const __m512 high = _mm512_max_ps(even, odd);
                pool = ky == 0 ? high : _mm512_max_ps(pool, high);
            }
        }
        _mm512_mask_storeu_ps(out + x, Lanes16(n), sum);
        if (pooled != nullptr) {
            _mm512_mask_storeu_ps(pooled + x, Lanes16(n), pool);
        }
    }
}

void DepthwiseAvx512(const DepthwiseRow& row) {
    for (std::int32_t c = 0; c < row.channels; ++c) {
        const std::ptrdiff_t plane = static_cast<std::ptrdiff_t>(c) * row.inStride;
        const float* const in[3] = {row.rows[0] + plane, row.rows[1] + plane, row.rows[2] + plane};
        __m512 w[9];
#pragma GCC unroll 9
        for (int tap = 0; tap < 9; ++tap) {
            w[tap] = _mm512_set1_ps(row.weights[tap * row.channels + c]);
        }
        float* out = row.out + c * row.width;
        if (row.stride == 1) {
            DepthwisePlane1_512(in, w, row.width, out);
        } else {
            DepthwisePlane2_512(in, w, row.width, out,
                                row.pooled == nullptr ? nullptr : row.pooled + c * row.width);
        }
    }
}

// Sixteen floats from p; when Masked only those of mask, the others read as zero. Masked loads and
// stores cost the 1x1 kernel several percent, so whole vectors go without.
template <bool Masked>
[[gnu::always_inline]] inline __m512 Load512(const float* p, __mmask16 mask) {
    if constexpr (Masked) {
        return _mm512_maskz_loadu_ps(mask, p);
    } else {
        return _mm512_loadu_ps(p);
    }
}

template <bool Masked>
[[gnu::always_inline]] inline void Store512(float* p, __mmask16 mask, __m512 value) {
    if constexpr (Masked) {
        _mm512_mask_storeu_ps(p, mask, value);
    } else {
        _mm512_storeu_ps(p, value);
    }
}

// Output channels o..o+NO-1 by pixels p..p+16*NV-1; when Masked, the last vector is masked to the
// row's end.
template <int NO, int NV, bool Masked>
[[gnu::always_inline]] inline void PointwiseTile512(const PointwiseRow& row, std::int32_t o,
                                                    std::int32_t p) {
    __mmask16 masks[NV];
#pragma GCC unroll 4
    for (int j = 0; j < NV; ++j) {
        masks[j] = Lanes16(row.pixels - p - 16 * j);
    }
    // The skip is added to the bias first: one add per accumulator either way, and none after.
    __m512 sum[NO][NV];
#pragma GCC unroll 24
    for (int i = 0; i < NO; ++i) {
        const std::ptrdiff_t channel = o + i;
        const __m512 bias = _mm512_set1_ps(row.bias[channel]);
        const float* skip = row.skip != nullptr && channel < row.skipChannels
                                ? row.skip + channel * row.skipStride + p
                                : nullptr;
#pragma GCC unroll 4
        for (int j = 0; j < NV; ++j) {
            sum[i][j] = skip == nullptr
                            ? bias
                            : _mm512_add_ps(bias, Load512<Masked>(skip + 16 * j, masks[j]));
        }
    }
    const float* weights = row.weights + o;
    for (std::int32_t k = 0; k < row.inChannels; ++k, weights += row.outChannels) {
        const float* in = row.in[k] + p;
        __m512 a[NV];
#pragma GCC unroll 4
        for (int j = 0; j < NV; ++j) {
            a[j] = Load512<Masked>(in + 16 * j, masks[j]);
        }
#pragma GCC unroll 24
        for (int i = 0; i < NO; ++i) {
            const __m512 w = _mm512_set1_ps(weights[i]);
#pragma GCC unroll 4
            for (int j = 0; j < NV; ++j) {
                sum[i][j] = _mm512_fmadd_ps(a[j], w, sum[i][j]);
            }
        }
    }
#pragma GCC unroll 24
    for (int i = 0; i < NO; ++i) {
        float* out = row.out + static_cast<std::ptrdiff_t>(o + i) * row.outStride + p;
#pragma GCC unroll 4
        for (int j = 0; j < NV; ++j) {
            __m512 value = sum[i][j];
            if (row.relu) {
                value = _mm512_max_ps(value, _mm512_setzero_ps());
            }
            Store512<Masked>(out + 16 * j, masks[j], value);
        }
    }
}

// The tile at pixel p, masked only when it reaches past the row's end.
template <int NO, int NV>
void PointwiseTileAt512(const PointwiseRow& row, std::int32_t o, std::int32_t p) {
    if (p + 16 * NV <= row.pixels) {
        PointwiseTile512<NO, NV, false>(row, o, p);
    } else {
        PointwiseTile512<NO, NV, true>(row, o, p);
    }
}

// NO channels by the whole row, in tiles of up to 24 accumulators: twelve channels by two vectors,
// or eight by three (by two in rows of two or four vectors).
template <int NO>
void PointwisePixels512(const PointwiseRow& row, std::int32_t o) {
    const std::int32_t vectors = (row.pixels + 15) / 16;
    std::int32_t v = 0;
    if (NO == 8 && vectors != 2 && vectors != 4) {
        for (; v + 3 <= vectors; v += 3) {
            PointwiseTileAt512<NO, 3>(row, o, 16 * v);
        }
    }
    for (; v + 2 <= vectors; v += 2) {
        PointwiseTileAt512<NO, 2>(row, o, 16 * v);
    }
    if (v < vectors) {
        PointwiseTileAt512<NO, 1>(row, o, 16 * v);
    }
}

void PointwiseAvx512(const PointwiseRow& row) {
    // A row of one vector takes up to 24 channels at a time, to keep as many accumulators busy.
    std::int32_t o = 0;
    if (row.pixels <= 16) {
        for (; o + 24 <= row.outChannels; o += 24) {
            PointwiseTileAt512<24, 1>(row, o, 0);
        }
        if (o + 16 <= row.outChannels) {
            PointwiseTileAt512<16, 1>(row, o, 0);
            o += 16;
        }
    } else if (row.outChannels % 12 == 0) {
        for (; o < row.outChannels; o += 12) {
            PointwisePixels512<12>(row, o);
        }
    }
    for (; o < row.outChannels; o += 8) {
        PointwisePixels512<8>(row, o);
    }
}

namespace interleaved {

// The lanes of the vector holding channels c.. of a row of `channels`.
[[gnu::always_inline]] inline __mmask16 ChannelMask(std::int32_t c, std::int32_t channels) {
    return channels - c >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << (channels - c)) - 1);
}

template <int XR>
[[gnu::always_inline]] inline void DepthwiseBlock512(const float* const rows[3],
                                                     std::int32_t stride, std::int32_t channels,
                                                     const __m512 w[9], __mmask16 mask,
                                                     std::int32_t x, std::int32_t c, float* out) {
    __m512 sum[XR];
#pragma GCC unroll 8
    for (int i = 0; i < XR; ++i) {
        sum[i] = _mm512_setzero_ps();
    }
    const int columns = stride * (XR - 1) + 3;
#pragma GCC unroll 3
    for (int ky = 0; ky < 3; ++ky) {
        const float* row = rows[ky] + stride * x * channels + c;
#pragma GCC unroll 16
        for (int column = 0; column < columns; ++column) {
            const __m512 value = _mm512_maskz_loadu_ps(mask, row + column * channels);
#pragma GCC unroll 8
            for (int i = 0; i < XR; ++i) {
                const int kx = column - stride * i;
                if (kx >= 0 && kx < 3) {
                    sum[i] = _mm512_fmadd_ps(value, w[ky * 3 + kx], sum[i]);
                }
            }
        }
    }
#pragma GCC unroll 8
    for (int i = 0; i < XR; ++i) {
        _mm512_mask_storeu_ps(out + (x + i) * channels + c, mask, sum[i]);
    }
}

template <int Stride>
void DepthwiseStride512(const float* const rows[3], std::int32_t width, std::int32_t channels,
                        const float* weights, float* out) {
    constexpr int XR = 4;
    for (std::int32_t c = 0; c < channels; c += 16) {
        const __mmask16 mask = ChannelMask(c, channels);
        __m512 w[9];
        for (int tap = 0; tap < 9; ++tap) {
            w[tap] = _mm512_maskz_loadu_ps(mask, weights + tap * channels + c);
        }
        std::int32_t x = 0;
        for (; x + XR <= width; x += XR) {
            DepthwiseBlock512<XR>(rows, Stride, channels, w, mask, x, c, out);
        }
        for (; x < width; ++x) {
            DepthwiseBlock512<1>(rows, Stride, channels, w, mask, x, c, out);
        }
    }
}

void DepthwiseAvx512(const float* const rows[3], std::int32_t stride, std::int32_t width,
                     std::int32_t channels, const float* weights, float* out) {
    if (stride == 1) {
        DepthwiseStride512<1>(rows, width, channels, weights, out);
    } else {
        DepthwiseStride512<2>(rows, width, channels, weights, out);
    }
}

// Pixels p..p+MR-1 by output channels o..o+16*NV-1 (the last vector masked by `last`).
template <int MR, int NV>
[[gnu::always_inline]] inline void PointwiseTile512(const InterleavedPointwiseRow& row,
                                                    std::int32_t p, std::int32_t o,
                                                    __mmask16 last) {
    __mmask16 masks[NV];
#pragma GCC unroll 4
    for (int j = 0; j < NV; ++j) {
        masks[j] = j + 1 == NV ? last : __mmask16(0xFFFF);
    }
    __m512 sum[MR][NV];
#pragma GCC unroll 4
    for (int j = 0; j < NV; ++j) {
        const __m512 bias = _mm512_maskz_loadu_ps(masks[j], row.bias + o + 16 * j);
#pragma GCC unroll 8
        for (int i = 0; i < MR; ++i) {
            sum[i][j] = bias;
        }
    }
    const float* in[MR];
#pragma GCC unroll 8
    for (int i = 0; i < MR; ++i) {
        in[i] = row.in + static_cast<std::ptrdiff_t>(p + i) * row.inStride;
    }
    const float* weights = row.weights + o;
    const std::ptrdiff_t weightStep = row.outChannels;
    const std::ptrdiff_t inChannels = row.inChannels;
    for (std::ptrdiff_t k = 0; k < inChannels; ++k, weights += weightStep) {
        __m512 w[NV];
#pragma GCC unroll 4
        for (int j = 0; j < NV; ++j) {
            w[j] = _mm512_maskz_loadu_ps(masks[j], weights + 16 * j);
        }
#pragma GCC unroll 8
        for (int i = 0; i < MR; ++i) {
            const __m512 a = _mm512_set1_ps(in[i][k]);
#pragma GCC unroll 4
            for (int j = 0; j < NV; ++j) {
                sum[i][j] = _mm512_fmadd_ps(a, w[j], sum[i][j]);
            }
        }
    }
    const __m512 zero = _mm512_setzero_ps();
#pragma GCC unroll 8
    for (int i = 0; i < MR; ++i) {
#pragma GCC unroll 4
        for (int j = 0; j < NV; ++j) {
            const std::int32_t channel = o + 16 * j;
            __m512 value = sum[i][j];
            if (row.skip != nullptr && channel < row.skipChannels) {
                // The skip's channels end on a multiple of 8 as well.
                const __mmask16 skipMask = masks[j] & ChannelMask(channel, row.skipChannels);
                value = _mm512_add_ps(
                    value, _mm512_maskz_loadu_ps(skipMask,
                                                 row.skip + (p + i) * row.skipChannels + channel));
            }
            if (row.relu) {
                value = _mm512_max_ps(value, zero);
            }
            _mm512_mask_storeu_ps(row.out + (p + i) * row.outChannels + channel, masks[j], value);
        }
    }
}

template <int NV>
void PointwiseColumns512(const InterleavedPointwiseRow& row, std::int32_t o, __mmask16 last) {
    // Eight pixels by three vectors is 24 accumulators of the 32 registers.
    constexpr int MR = 8;
    std::int32_t p = 0;
    for (; p + MR <= row.pixels; p += MR) {
        PointwiseTile512<MR, NV>(row, p, o, last);
    }
    for (; p < row.pixels; ++p) {
        PointwiseTile512<1, NV>(row, p, o, last);
    }
}

void PointwiseAvx512(const InterleavedPointwiseRow& row) {
    // Column tiles of up to 48 channels; the last vector of the row is masked.
    for (std::int32_t o = 0; o < row.outChannels;) {
        const std::int32_t vectors = (row.outChannels - o + 15) / 16;
        const std::int32_t tile = vectors == 1 ? 1 : vectors == 2 || vectors == 4 ? 2 : 3;
        const __mmask16 last = ChannelMask(o + 16 * (tile - 1), row.outChannels);
        if (tile == 1) {
            PointwiseColumns512<1>(row, o, last);
            o += 16;
        } else if (tile == 2) {
            PointwiseColumns512<2>(row, o, last);
            o += 32;
        } else {
            PointwiseColumns512<3>(row, o, last);
            o += 48;
        }
    }
}

}  // namespace interleaved

#pragma GCC diagnostic pop
#pragma GCC pop_options

#endif

}  // namespace

FaceKernels SelectFaceKernels(SimdLevel level) {
#if defined(__x86_64__) || defined(__i386__)
    if (level >= SimdLevel::Avx512 && SimdLevelSupported(SimdLevel::Avx512)) {
        return {AccumulateAvx512,
                ResampleAvx512,
                DepthwiseAvx512,
                PointwiseAvx512,
                interleaved::DepthwiseAvx512,
                interleaved::PointwiseAvx512};
    }
    if (level == SimdLevel::Avx2 && SimdLevelSupported(level)) {
        return {AccumulateAvx2,
                ResampleAvx2,
                DepthwiseAvx2,
                PointwiseAvx2,
                interleaved::DepthwiseAvx2,
                interleaved::PointwiseAvx2};
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
