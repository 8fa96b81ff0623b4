// The main window's size around the picture area, the same on every platform.
#pragma once

#include <algorithm>
#include <cstdint>

#include "geometry.h"
#include "presentation.h"

// The dialog template's client area in pixels, enlarged where the font made it too small to hold
// the picture area with its left margin repeated on the right and below.
constexpr PixelSize MainWindowClientSize(PixelSize fromTemplate) {
    const std::int32_t margin = PICTURE_AREA.left;
    return {std::max(fromTemplate.width, PICTURE_AREA.right + margin),
            std::max(fromTemplate.height, PICTURE_AREA.bottom + margin)};
}
