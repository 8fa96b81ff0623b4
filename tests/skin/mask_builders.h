// Small masks and frames for the analysis tests.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "frame_image.h"
#include "skin_color.h"

// rows[y] is stored row y; '#' is a skin cell (255), anything else 0.
inline SkinMask MaskFromRows(const std::vector<std::string>& rows) {
    SkinMask mask;
    mask.height = static_cast<std::int32_t>(rows.size());
    mask.width = rows.empty() ? 0 : static_cast<std::int32_t>(rows[0].size());
    for (const std::string& row : rows) {
        for (char c : row) {
            mask.cells.push_back(c == '#' ? 255 : 0);
        }
    }
    return mask;
}

inline SkinMask RandomMask(std::int32_t width, std::int32_t height, double density,
                           std::mt19937& random) {
    std::bernoulli_distribution skin(density);
    SkinMask mask;
    mask.width = width;
    mask.height = height;
    mask.cells.resize(static_cast<std::size_t>(width) * height);
    for (std::uint8_t& cell : mask.cells) {
        cell = skin(random) ? 255 : 0;
    }
    return mask;
}

// A colour that the default thresholds classify as skin (hue 22, saturation 40, brightness 78).
inline constexpr Pixel24 SKIN{120, 150, 200};
// A colour that is never skin (pure-ish blue).
inline constexpr Pixel24 BACKGROUND{200, 60, 40};

// Paints the rectangle of storage coordinates [x0, x1] x [y0, y1] (inclusive).
inline void FillRect(FrameImage& frame, std::int32_t x0, std::int32_t y0, std::int32_t x1,
                     std::int32_t y1, Pixel24 color) {
    for (std::int32_t y = y0; y <= y1; ++y) {
        for (std::int32_t x = x0; x <= x1; ++x) {
            frame.pixels[static_cast<std::size_t>(y) * frame.width + x] = color;
        }
    }
}

inline FrameImage BackgroundFrame(std::int32_t width, std::int32_t height) {
    FrameImage frame = MakeFrameImage(width, height);
    FillRect(frame, 0, 0, width - 1, height - 1, BACKGROUND);
    return frame;
}
