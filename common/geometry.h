// The viewer's one rectangle and one size, in whole pixels, counted from the top-left corner.
#pragma once

#include <cstdint>

struct PixelSize {
    std::int32_t width = 0;
    std::int32_t height = 0;

    friend bool operator==(const PixelSize&, const PixelSize&) = default;
};

// Columns left .. right - 1 and rows top .. bottom - 1: right and bottom are exclusive.
struct PixelRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

constexpr std::int32_t Width(const PixelRect& rect) {
    return rect.right - rect.left;
}

constexpr std::int32_t Height(const PixelRect& rect) {
    return rect.bottom - rect.top;
}
