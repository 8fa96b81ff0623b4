// The main window's size around the picture area, the same on every platform.
#pragma once

#include <algorithm>
#include <cstdint>

#include "presentation.h"

struct ClientSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// The dialog template's client area in pixels, enlarged where the font made it too small to hold
// the picture area with its left margin repeated on the right and below.
constexpr ClientSize MainWindowClientSize(ClientSize fromTemplate) {
    const std::int32_t margin = PICTURE_AREA.left;
    return {std::max(fromTemplate.width, PICTURE_AREA.left + PICTURE_AREA.width + margin),
            std::max(fromTemplate.height, PICTURE_AREA.top + PICTURE_AREA.height + margin)};
}
