// The face finder's inner loops, in a scalar form and an AVX2 form with fused multiply-adds, which
// agree to within float rounding. The network's loops work on rows of channel-interleaved pixels
// (a pixel's channels side by side, a multiple of 8 of them).
#pragma once

#include <cstddef>
#include <cstdint>

#include "simd_level.h"

// A 1x1 convolution of one row of pixels:
//   out[p * outChannels + o] = bias[o] + sum over k of in[p * inStride + k] * weights[k *
//   outChannels + o]
// plus skip[p * skipChannels + o] where o < skipChannels, then max(0, .) when relu.
struct PointwiseRow {
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
    // sums[i] += weight * bytes[i] for i < count: one source row's share of the input's area
    // averages.
    void (*accumulate)(const std::uint8_t* bytes, std::size_t count, float weight, float* sums);
    // A 3x3 depthwise convolution of one output row of width pixels: output pixel x reads pixels
    // stride * x + kx of rows[ky] (whose border columns the caller provides), weights[(ky * 3 + kx)
    // * channels + c].
    void (*depthwise)(const float* const rows[3], std::int32_t stride, std::int32_t width,
                      std::int32_t channels, const float* weights, float* out);
    void (*pointwise)(const PointwiseRow& row);
};

// The kernels for a level; a level this processor cannot run, or one without a kernel of its own,
// gives the scalar ones.
FaceKernels SelectFaceKernels(SimdLevel level);
