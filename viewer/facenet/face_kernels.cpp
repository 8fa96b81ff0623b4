#include "face_kernels.h"

#include <algorithm>
#include <cstddef>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

void AccumulateScalar(const std::uint8_t* bytes, std::size_t count, float weight, float* sums) {
    for (std::size_t i = 0; i < count; ++i) {
        sums[i] += weight * static_cast<float>(bytes[i]);
    }
}

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

void PointwiseScalar(const PointwiseRow& row) {
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

#if defined(__x86_64__) || defined(__i386__)

#pragma GCC push_options
#pragma GCC target("avx2,fma")

void AccumulateAvx2(const std::uint8_t* bytes, std::size_t count, float weight, float* sums) {
    const __m256 w = _mm256_set1_ps(weight);
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m128i eight = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(bytes + i));
        const __m256 values = _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(eight));
        _mm256_storeu_ps(sums + i, _mm256_fmadd_ps(w, values, _mm256_loadu_ps(sums + i)));
    }
    AccumulateScalar(bytes + i, count - i, weight, sums + i);
}

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
[[gnu::always_inline]] inline void PointwiseTile(const PointwiseRow& row, std::int32_t p,
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
void PointwiseColumns(const PointwiseRow& row, std::int32_t o) {
    constexpr int MR = 4;
    std::int32_t p = 0;
    for (; p + MR <= row.pixels; p += MR) {
        PointwiseTile<MR, NV>(row, p, o);
    }
    for (; p < row.pixels; ++p) {
        PointwiseTile<1, NV>(row, p, o);
    }
}

void PointwiseAvx2(const PointwiseRow& row) {
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

#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vl,avx512dq,avx2,fma")
// GCC 12's AVX-512 intrinsics pass an undefined vector where no mask is given, which it then
// reports as maybe uninitialized.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// The AVX-512 kernels: 16 channels a vector, the last vector of a row of channels masked to the
// channels that are left (a multiple of 8). Every output is the same chain of fused multiply-adds
// in the same order as in the AVX2 kernels, so the two give the same floats.

// 16 bytes at a time, the rest as the AVX2 kernel takes them, so that every sum gets the same
// fused multiply-add as there.
void AccumulateAvx512(const std::uint8_t* bytes, std::size_t count, float weight, float* sums) {
    const __m512 w = _mm512_set1_ps(weight);
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i sixteen = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        const __m512 values = _mm512_cvtepi32_ps(_mm512_cvtepu8_epi32(sixteen));
        _mm512_storeu_ps(sums + i, _mm512_fmadd_ps(w, values, _mm512_loadu_ps(sums + i)));
    }
    AccumulateAvx2(bytes + i, count - i, weight, sums + i);
}

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
[[gnu::always_inline]] inline void PointwiseTile512(const PointwiseRow& row, std::int32_t p,
                                                    std::int32_t o, __mmask16 last) {
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
                    value, _mm512_maskz_loadu_ps(
                               skipMask, row.skip + (p + i) * row.skipChannels + channel));
            }
            if (row.relu) {
                value = _mm512_max_ps(value, zero);
            }
            _mm512_mask_storeu_ps(row.out + (p + i) * row.outChannels + channel, masks[j], value);
        }
    }
}

template <int NV>
void PointwiseColumns512(const PointwiseRow& row, std::int32_t o, __mmask16 last) {
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

void PointwiseAvx512(const PointwiseRow& row) {
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

#pragma GCC diagnostic pop
#pragma GCC pop_options

#endif

}  // namespace

FaceKernels SelectFaceKernels(SimdLevel level) {
#if defined(__x86_64__) || defined(__i386__)
    if (level == SimdLevel::Avx512 && SimdLevelSupported(level)) {
        return {AccumulateAvx512, DepthwiseAvx512, PointwiseAvx512};
    }
    if (level == SimdLevel::Avx2 && SimdLevelSupported(level)) {
        return {AccumulateAvx2, DepthwiseAvx2, PointwiseAvx2};
    }
#else
    (void)level;
#endif
    return {AccumulateScalar, DepthwiseScalar, PointwiseScalar};
}
