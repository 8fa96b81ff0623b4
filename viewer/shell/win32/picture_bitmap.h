// The picture area's bitmap: 24-bit top-down rows of PICTURE_AREA's size, which SetDIBitsToDevice
// copies to the window. A surface of that size is copied from its own rows; only a stretched one
// is drawn into the picture's own storage first.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "presentation.h"

class PictureBitmap {
  public:
    PictureBitmap();

    // Copies surface, stretched to the picture area where it has another size, to
    // (PICTURE_AREA.left, .top) of target.
    void Show(const SurfaceView& surface, HDC target);

  private:
    BITMAPINFO info_{};
    std::vector<std::uint8_t> picture_;
};
