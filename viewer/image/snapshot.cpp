#include "snapshot.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "bmp_file.h"

namespace {

// The surface turned into a bottom-up frame: surface row r becomes row height - 1 - r. A view that
// could not hold its own rows gives an empty image rather than a read outside it.
FrameImage UprightFrame(const SurfaceView& surface) {
    FrameImage image;
    const std::int64_t rowBytes = 3 * static_cast<std::int64_t>(surface.width);
    if (surface.pixels == nullptr || surface.width <= 0 || surface.height <= 0 ||
        surface.stride < rowBytes) {
        return image;
    }
    ResizeFrameImage(image, surface.width, surface.height);
    const std::size_t stride = static_cast<std::size_t>(surface.stride);
    for (std::int32_t r = 0; r < surface.height; ++r) {
        const std::size_t y = static_cast<std::size_t>(surface.height - 1 - r);
        std::memcpy(FrameBytes(image) + y * static_cast<std::size_t>(rowBytes),
                    surface.pixels + static_cast<std::size_t>(r) * stride,
                    static_cast<std::size_t>(rowBytes));
    }
    return image;
}

}  // namespace

void SaveSnapshotPair(const FrameImage& live, const SurfaceView& surface) {
    WriteBmpFile(SNAPSHOT_ORIGINAL_FILE, live);
    WriteBmpFile(SNAPSHOT_DISPLAY_FILE, UprightFrame(surface));
}
