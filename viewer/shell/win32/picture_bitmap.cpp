#include "picture_bitmap.h"

#include <new>

PictureBitmap::PictureBitmap() {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = Width(PICTURE_AREA);
    info.bmiHeader.biHeight = -Height(PICTURE_AREA);  // top-down rows, as RenderPicture writes them
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    bitmap_.reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits_, nullptr, 0));
    context_.reset(CreateCompatibleDC(nullptr));
    if (!bitmap_ || !context_) {
        throw std::bad_alloc();
    }
    SelectObject(context_.get(), bitmap_.get());
}

void PictureBitmap::Show(const SurfaceView& surface, HDC target) {
    GdiFlush();  // GDI may still be reading the bits for the previous copy
    if (RenderPicture(surface, PictureBits(static_cast<std::uint8_t*>(bits_), PICTURE_BYTES))) {
        BitBlt(target, PICTURE_AREA.left, PICTURE_AREA.top, Width(PICTURE_AREA),
               Height(PICTURE_AREA), context_.get(), 0, 0, SRCCOPY);
    }
}
