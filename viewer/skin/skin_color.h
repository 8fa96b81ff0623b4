// Skin colour classification: RGB to hue/saturation/brightness and the eight inclusive bounds.
#pragma once

#include <cstdint>
#include <vector>

#include "frame_image.h"
#include "simd_level.h"

struct HsbColor {
    std::uint16_t hue = 0;        // whole degrees, 0..359
    std::uint8_t saturation = 0;  // whole percent, 0..100
    std::uint8_t brightness = 0;  // whole percent, 0..100

    friend bool operator==(const HsbColor&, const HsbColor&) = default;
};

// Inclusive bounds, named after their settings keys. A band whose minimum exceeds its maximum
// matches nothing.
struct SkinColorRange {
    std::uint32_t H1_min = 8;
    std::uint32_t H1_max = 49;
    std::uint32_t H2_min = 330;
    std::uint32_t H2_max = 360;
    std::uint32_t S_min = 15;
    std::uint32_t S_max = 70;
    std::uint32_t B_min = 0;
    std::uint32_t B_max = 100;

    friend bool operator==(const SkinColorRange&, const SkinColorRange&) = default;
};

// One byte per pixel in the frame's storage order (row 0 = bottom row): 255 skin, 0 not skin.
struct SkinMask {
    std::vector<std::uint8_t> cells;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

HsbColor RgbToHsb(std::uint8_t red, std::uint8_t green, std::uint8_t blue);
bool IsSkinColor(HsbColor color, const SkinColorRange& range);

// Classifies every pixel, border included, with the fastest kernel this processor runs.
SkinMask BuildSkinMask(const FrameImage& frame, const SkinColorRange& range);
// The same with a chosen kernel (all kernels give identical masks); for tests and benchmarks. A
// level this processor cannot run falls back to the scalar kernel.
SkinMask BuildSkinMask(const FrameImage& frame, const SkinColorRange& range, SimdLevel level);
