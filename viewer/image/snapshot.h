// Shift + "&Capture": the raw frame and the picture as displayed, side by side as two BMP files.
#pragma once

#include <string>

#include "frame_image.h"
#include "surface_view.h"

inline constexpr const char* SNAPSHOT_ORIGINAL_FILE = "capture_original.bmp";
inline constexpr const char* SNAPSHOT_DISPLAY_FILE = "capture_ravk.bmp";

// Writes the surface turned upright at the surface's own size as a bottom-up 24-bit BMP: the
// snapshot's second file. A surface without rows gives an empty picture.
bool WriteSurfaceBmp(const std::string& fileName, const SurfaceView& surface);

// Writes the live frame as delivered and the surface turned upright at the surface's own size into
// the current folder. Both files are written under their pending names first and put in place only
// when both are whole, so a failure leaves an earlier pair as it was; false then.
bool SaveSnapshotPair(const FrameImage& live, const SurfaceView& surface);
