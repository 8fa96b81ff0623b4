// Per-pixel skin classification over packed BGR pixels, in scalar and vector forms that give
// identical results.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame_image.h"
#include "simd_level.h"
#include "skin_color.h"

// The (delta, max) pairs whose double-precision saturation (delta / max) * 100.0 lands just below
// the whole quotient 100 * delta / max, so that truncation gives one less.
struct SaturationPair {
    std::uint8_t delta = 0;
    std::uint8_t max = 0;
};
inline constexpr SaturationPair SATURATION_ROUNDED_DOWN[] = {{29, 100},  {29, 50},   {57, 100},
                                                             {58, 100},  {87, 150},  {58, 200},
                                                             {114, 200}, {116, 200}, {145, 250}};

// Sets bit i % 64 of words[i / 64] where pixel i of the count pixels is skin and clears it where
// not, (count + 63) / 64 words in all; the last word's bits past count are cleared. A frame's
// rows are packed end to end, so a whole frame is one call. A level this processor cannot run
// falls back to scalar.
void ClassifySkinBits(const Pixel24* pixels, std::uint64_t* words, std::size_t count,
                      const SkinColorRange& range, SimdLevel level);

// The sum of PixelLuma (analyze_frame.h) over count pixels (at most 2^24 of them), with the
// kernel of a level: the vector kernels take floor((x + 0.5) / 1000) in floats, which is the whole
// quotient x / 1000 for every weighted sum x a pixel can have, as a test checks for every colour.
std::uint32_t SumPixelLuma(const Pixel24* pixels, std::size_t count, SimdLevel level);
