#include "snapshot.h"

#include <cstddef>

#include "bmp_file.h"
#include "frame_rows.h"
#include "pending_file.h"

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

bool SaveSnapshotPair(const FrameImage& live, const SurfaceView& surface) {
    const bool written = WritePendingBmpFile(SNAPSHOT_ORIGINAL_FILE, live) &&
                         WritePendingBmpFile(SNAPSHOT_DISPLAY_FILE, UprightFrame(surface));
    // Renaming cannot run out of space; only a file locked in between could still fail it.
    if (written && PutPendingFile(SNAPSHOT_ORIGINAL_FILE) &&
        PutPendingFile(SNAPSHOT_DISPLAY_FILE)) {
        return true;
    }
    DiscardPendingFile(SNAPSHOT_ORIGINAL_FILE);
    DiscardPendingFile(SNAPSHOT_DISPLAY_FILE);
    return false;
}
