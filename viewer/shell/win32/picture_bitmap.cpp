#include "picture_bitmap.h"

PictureBitmap::PictureBitmap() : picture_(PICTURE_BYTES) {
    info_.bmiHeader.biSize = sizeof info_.bmiHeader;
    info_.bmiHeader.biWidth = Width(PICTURE_AREA);
    info_.bmiHeader.biHeight = -Height(PICTURE_AREA);  // top-down rows, as PictureToShow gives
    info_.bmiHeader.biPlanes = 1;
    info_.bmiHeader.biBitCount = 24;
    info_.bmiHeader.biCompression = BI_RGB;
}

void PictureBitmap::Show(const SurfaceView& surface, HDC target) {
    const SurfaceView shown = PictureToShow(surface, PictureBits(picture_.data(), PICTURE_BYTES));
    if (HasRows(shown)) {
        SetDIBitsToDevice(target, PICTURE_AREA.left, PICTURE_AREA.top,
                          static_cast<DWORD>(shown.width), static_cast<DWORD>(shown.height), 0, 0,
                          0, static_cast<UINT>(shown.height), shown.pixels, &info_, DIB_RGB_COLORS);
    }
}
