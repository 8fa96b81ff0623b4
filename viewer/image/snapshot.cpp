#include "snapshot.h"

#include <cstddef>

#include "bmp_file.h"
#include "frame_rows.h"

namespace {

// The surface turned into a bottom-up frame: surface row r becomes row height - 1 - r. A view that
// could not hold its own rows gives an empty image rather than a read outside it.
FrameImage UprightFrame(const SurfaceView& surface) {
    FrameImage image;
    if (!HasRows(surface)) {
        return image;
    }
    ResizeFrameImage(image, surface.width, surface.height);
    const std::size_t rowBytes = PackedRowBytes(surface.width);
    CopyRows(FrameBytes(image), rowBytes, surface.pixels, static_cast<std::size_t>(surface.stride),
             rowBytes, static_cast<std::size_t>(surface.height), RowOrder::Flipped);
    return image;
}

}  // namespace

bool WriteSurfaceBmp(const std::string& fileName, const SurfaceView& surface) {
    return WriteBmpFile(fileName, UprightFrame(surface));
}

void SaveSnapshotPair(const FrameImage& live, const SurfaceView& surface) {
    WriteBmpFile(SNAPSHOT_ORIGINAL_FILE, live);
    WriteSurfaceBmp(SNAPSHOT_DISPLAY_FILE, surface);
}
