// The face finder's inner loops, in a scalar form and AVX2 and AVX-512 forms with fused
// multiply-adds, which agree to within float rounding. The network's loops work on channel planes:
// a row of pixels is stored one channel after the other, each channel's pixels side by side, so a
// vector holds one channel of neighbouring pixels and every lane does useful work whatever the
// number of channels, in rows at least a vector wide.
#pragma once

#include <cstddef>
#include <cstdint>

#include "simd_level.h"

// A 1x1 convolution of one row of pixels:
//   out[o * outStride + p] = bias[o] + sum over k of in[k][p] * weights[k * outChannels + o]
// plus skip[o * skipStride + p] where o < skipChannels, then max(0, .) when relu.
struct PointwiseRow {
    const float* const* in = nullptr;  // each input channel's row of pixels
    std::int32_t inChannels = 0;
    std::int32_t pixels = 0;
    const float* weights = nullptr;
    const float* bias = nullptr;
    std::int32_t outChannels = 0;  // a multiple of 8
    const float* skip = nullptr;   // null: nothing added
    std::int32_t skipStride = 0;
    std::int32_t skipChannels = 0;
    bool relu = false;
    float* out = nullptr;
    std::int32_t outStride = 0;
};

// A 3x3 depthwise convolution of one output row of width pixels: output pixel x of channel c reads
// pixels stride * x + kx of rows[ky] + c * inStride (whose border columns the caller provides, all
// zero: the convolution's padding), weights[(ky * 3 + kx) * channels + c]; it is stored at
// out[c * width + x]. With stride 2 and pooled given, the 2x2 maximum of pixels 2x, 2x + 1 of
// rows[0] and rows[1] goes to pooled[c * width + x] too (a strided block's skip).
struct DepthwiseRow {
    const float* rows[3] = {};
    std::int32_t inStride = 0;
    std::int32_t stride = 1;
    std::int32_t width = 0;
    std::int32_t channels = 0;
    const float* weights = nullptr;
    float* out = nullptr;
    float* pooled = nullptr;
};

// The same 1x1 convolution on a row of channel-interleaved pixels (a pixel's channels side by
// side, a multiple of 8 of them), for rows narrower than a vector, where vectors of channels fill
// up and vectors of pixels would not:
//   out[p * outChannels + o] = bias[o] + sum over k of in[p * inStride + k] * weights[k *
//   outChannels + o]
// plus skip[p * skipChannels + o] where o < skipChannels, then max(0, .) when relu.
struct InterleavedPointwiseRow {
    const float* in = nullptr;
    std::int32_t inStride = 0;
    std::int32_t inChannels = 0;
    std::int32_t pixels = 0;
    const float* weights = nullptr;
    const float* bias = nullptr;
    std::int32_t outChannels = 0;
    const float* skip = nullptr;  // null: nothing added
    std::int32_t skipChannels = 0;
    bool relu = false;
    float* out = nullptr;
};

struct FaceKernels {
    // sums[i] += weight * (the sum over r < count of rows[r][i]) for i < bytes, or sums[i] = that
    // product when not add: source rows' share of the input's area averages, summed as integers
    // first (count at most 257).
    void (*accumulate)(const std::uint8_t* const* rows, std::int32_t count, float weight,
                       std::size_t bytes, bool add, float* sums);
    // Input pixels from the area averages: for c < 3 and i < count,
    //   out[c][i] = (sum over t < taps of weights[t * count + i] * sums[indices[t * count + i] +
    //   c])
    //               / 127.5 - 1
    // (a pixel whose weights are all 0 is -1, black).
    void (*resample)(const float* sums, const std::int32_t* indices, const float* weights,
                     std::int32_t taps, std::int32_t count, float* const out[3]);
    void (*depthwise)(const DepthwiseRow& row);
    void (*pointwise)(const PointwiseRow& row);
    // On channel-interleaved pixels: a 3x3 depthwise convolution of one output row of width pixels,
    // output pixel x reading pixels stride * x + kx of rows[ky] (whose border columns the caller
    // provides), weights[(ky * 3 + kx) * channels + c]; and the 1x1 convolution.
    void (*depthwiseInterleaved)(const float* const rows[3], std::int32_t stride,
                                 std::int32_t width, std::int32_t channels, const float* weights,
                                 float* out);
    void (*pointwiseInterleaved)(const InterleavedPointwiseRow& row);
};

// The kernels for a level; a level this processor cannot run, or one without a kernel of its own,
// gives the scalar ones.
FaceKernels SelectFaceKernels(SimdLevel level);
