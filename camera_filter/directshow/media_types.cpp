#include "media_types.h"

#include <cstring>

namespace {

const GUID& SubtypeOf(SampleKind kind) {
    return kind == SampleKind::Rgb24 ? MEDIASUBTYPE_RGB24 : MEDIASUBTYPE_YUY2;
}

}  // namespace

AM_MEDIA_TYPE MediaTypeOf(const SampleFormat& format) {
    auto* header = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    std::memset(header, 0, sizeof *header);
    header->AvgTimePerFrame = FRAME_TIME;
    BITMAPINFOHEADER& bitmap = header->bmiHeader;
    bitmap.biSize = sizeof(BITMAPINFOHEADER);
    bitmap.biWidth = format.size.width;
    bitmap.biHeight = format.size.height;  // positive: RGB rows bottom-up, YUV rows top-down
    bitmap.biPlanes = 1;
    const bool rgb = format.kind == SampleKind::Rgb24;
    bitmap.biBitCount = rgb ? 24 : 16;
    bitmap.biCompression = rgb ? BI_RGB : MAKEFOURCC('Y', 'U', 'Y', '2');
    bitmap.biSizeImage = static_cast<DWORD>(SampleBytes(format));
    AM_MEDIA_TYPE type{};
    type.majortype = MEDIATYPE_Video;
    type.subtype = SubtypeOf(format.kind);
    type.bFixedSizeSamples = TRUE;
    type.lSampleSize = bitmap.biSizeImage;
    type.formattype = FORMAT_VideoInfo;
    type.cbFormat = sizeof(VIDEOINFOHEADER);
    type.pbFormat = reinterpret_cast<BYTE*>(header);
    return type;
}

AM_MEDIA_TYPE* NewMediaType(const SampleFormat& format) {
    auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    *type = MediaTypeOf(format);
    return type;
}

void CopyMediaType(const AM_MEDIA_TYPE& from, AM_MEDIA_TYPE& to) {
    to = from;
    to.pUnk = nullptr;
    to.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(from.cbFormat));
    std::memcpy(to.pbFormat, from.pbFormat, from.cbFormat);
}

AM_MEDIA_TYPE* CopyMediaType(AM_MEDIA_TYPE* type) {
    auto* copy = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    CopyMediaType(*type, *copy);
    return copy;
}

std::optional<SampleFormat> SampleFormatOf(const AM_MEDIA_TYPE* type) {
    if (type == nullptr || type->majortype != MEDIATYPE_Video ||
        type->formattype != FORMAT_VideoInfo || type->pbFormat == nullptr ||
        type->cbFormat < sizeof(VIDEOINFOHEADER)) {
        return std::nullopt;
    }
    const BITMAPINFOHEADER& bitmap = reinterpret_cast<VIDEOINFOHEADER*>(type->pbFormat)->bmiHeader;
    const PixelSize size{bitmap.biWidth, bitmap.biHeight};
    for (const SampleKind kind : {SampleKind::Rgb24, SampleKind::Yuy2}) {
        if (type->subtype == SubtypeOf(kind)) {
            return SampleFormat{kind, size};
        }
    }
    return std::nullopt;
}

bool Admits(const AM_MEDIA_TYPE& partial, const SampleFormat& format) {
    return (partial.majortype == GUID_NULL || partial.majortype == MEDIATYPE_Video) &&
           (partial.subtype == GUID_NULL || partial.subtype == SubtypeOf(format.kind));
}
