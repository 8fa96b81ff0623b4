// DirectShow media types of the camera formats: made, copied, freed and read back.
#pragma once

#include <dshow.h>

#include <optional>

#include "media_type_memory.h"
#include "sample_formats.h"

// The type of format as a capture pin offers it, video in a VIDEOINFOHEADER at 30 frames a
// second; its format block is the caller's to free (ClearMediaType).
AM_MEDIA_TYPE MediaTypeOf(const SampleFormat& format);
// The same in a block of its own, as IAMStreamConfig and enumerators hand types out.
AM_MEDIA_TYPE* NewMediaType(const SampleFormat& format);

void CopyMediaType(const AM_MEDIA_TYPE& from, AM_MEDIA_TYPE& to);
AM_MEDIA_TYPE* CopyMediaType(AM_MEDIA_TYPE* type);

// The camera format a whole type describes; none for any other type.
std::optional<SampleFormat> SampleFormatOf(const AM_MEDIA_TYPE* type);

// Whether a partial type (major type and subtype, either of them left open) admits format.
bool Admits(const AM_MEDIA_TYPE& partial, const SampleFormat& format);

// The frame time the camera announces, in 100-nanosecond units.
inline constexpr REFERENCE_TIME FRAME_TIME = 10'000'000 / 30;
