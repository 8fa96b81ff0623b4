#include "skin_color.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>

#include "skin_mask_kernels.h"

namespace {

// The eight mask cells of eight classified bits, lowest bit first.
constexpr std::array<std::array<std::uint8_t, 8>, 256> CELLS_OF_BITS = [] {
    std::array<std::array<std::uint8_t, 8>, 256> cells{};
    for (std::size_t bits = 0; bits < cells.size(); ++bits) {
        for (std::size_t k = 0; k < 8; ++k) {
            cells[bits][k] = (bits >> k) & 1 ? 255 : 0;
        }
    }
    return cells;
}();

bool SaturationRoundsDown(int delta, int max) {
    for (const SaturationPair pair : SATURATION_ROUNDED_DOWN) {
        if (pair.delta == delta && pair.max == max) {
            return true;
        }
    }
    return false;
}

}  // namespace

HsbColor RgbToHsb(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    const int max = std::max(std::max(red, green), blue);
    const int min = std::min(std::min(red, green), blue);
    const int delta = max - min;

    HsbColor color;
    color.brightness = static_cast<std::uint8_t>(max * 100 / 255);
    if (delta == 0) {
        return color;  // greys and black: hue 0, saturation 0
    }

    int offset = 0;
    int difference = 0;
    if (green == max) {
        offset = 120;
        difference = blue - red;
    } else if (blue == max) {
        offset = 240;
        difference = red - green;
    } else {
        difference = green - blue;
        offset = difference >= 0 ? 0 : 360;
    }
    // offset * delta + 60 * difference is never negative, so the integer quotient is the floor
    // that the double-precision formula truncates to.
    color.hue = static_cast<std::uint16_t>((offset * delta + 60 * difference) / delta);

    // Only a whole quotient can land just below itself in double precision.
    int saturation = 100 * delta / max;
    if (100 * delta % max == 0 && SaturationRoundsDown(delta, max)) {
        --saturation;
    }
    color.saturation = static_cast<std::uint8_t>(saturation);
    return color;
}

bool IsSkinColor(HsbColor color, const SkinColorRange& range) {
    const std::uint32_t hue = color.hue;
    const std::uint32_t saturation = color.saturation;
    const std::uint32_t brightness = color.brightness;
    const bool hueInBand = (range.H1_min <= hue && hue <= range.H1_max) ||
                           (range.H2_min <= hue && hue <= range.H2_max);
    return hueInBand && range.S_min <= saturation && saturation <= range.S_max &&
           range.B_min <= brightness && brightness <= range.B_max;
}

SkinMask BuildSkinMask(const FrameImage& frame, const SkinColorRange& range, SimdLevel level) {
    SkinMask mask;
    mask.width = frame.width;
    mask.height = frame.height;
    const std::size_t count =
        frame.width > 0 && frame.height > 0
            ? static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height)
            : 0;
    // Storage shorter than the stated size is never read past; the missing cells stay 0.
    const std::size_t classified = std::min(count, frame.pixels.size());
    std::vector<std::uint64_t> words((classified + 63) / 64);
    ClassifySkinBits(frame.pixels.data(), words.data(), classified, range, level);
    mask.cells.assign(count, 0);
    std::size_t i = 0;
    for (; i + 8 <= classified; i += 8) {
        const auto bits = static_cast<std::uint8_t>(words[i / 64] >> (i % 64));
        std::memcpy(mask.cells.data() + i, CELLS_OF_BITS[bits].data(), 8);
    }
    for (; i < classified; ++i) {
        mask.cells[i] = (words[i / 64] >> (i % 64)) & 1 ? 255 : 0;
    }
    return mask;
}

SkinMask BuildSkinMask(const FrameImage& frame, const SkinColorRange& range) {
    static const SimdLevel level = DetectSimdLevel();
    return BuildSkinMask(frame, range, level);
}
