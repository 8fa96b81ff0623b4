// The picture area's bitmap: a 24-bit top-down DIB section of PICTURE_AREA's size, selected into
// a memory device context, whose bits RenderPicture writes and BitBlt copies to the window.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

#include "presentation.h"

class PictureBitmap {
  public:
    // Throws std::bad_alloc when the system cannot make the bitmap or its context.
    PictureBitmap();

    // Draws surface into the bitmap and copies the bitmap to (PICTURE_AREA.left, .top) of target.
    void Show(const SurfaceView& surface, HDC target);

  private:
    struct DeleteBitmap {
        void operator()(HBITMAP bitmap) const { DeleteObject(bitmap); }
    };
    struct DeleteContext {
        void operator()(HDC context) const { DeleteDC(context); }
    };

    // The context goes first, so the bitmap is no longer selected when it is deleted.
    std::unique_ptr<std::remove_pointer_t<HBITMAP>, DeleteBitmap> bitmap_;
    std::unique_ptr<std::remove_pointer_t<HDC>, DeleteContext> context_;
    void* bits_ = nullptr;  // owned by bitmap_
};
