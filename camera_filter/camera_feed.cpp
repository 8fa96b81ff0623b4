#include "camera_feed.h"

#include "frame_rows.h"
#include "still_picture.h"

namespace {

SurfaceView PackedView(const std::vector<std::uint8_t>& pixels, PixelSize size) {
    return {pixels.data(), size.width, size.height,
            static_cast<std::int32_t>(PackedRowBytes(size.width))};
}

}  // namespace

bool FillCameraSample(CameraFeed& feed, std::span<const std::uint8_t> block,
                      const SampleFormat& format, std::span<std::uint8_t> sample,
                      std::int64_t nowMs) {
    feed.published.resize(SHARED_SLOT_PIXEL_BYTES);
    SharedFrame frame;
    if (ReadNewestSharedFrame(block, feed.published, feed.last, nowMs, STALE_FRAME_MS, frame)) {
        feed.last = frame;
        ConvertPicture(PackedView(feed.published, {frame.width, frame.height}), format, sample);
        return true;
    }
    if (feed.stillSize != format.size) {
        feed.still = DrawStillPicture(format.size);
        feed.stillSize = format.size;
    }
    ConvertPicture(PackedView(feed.still, feed.stillSize), format, sample);
    return false;
}

PixelSize PublishedSize(std::span<const std::uint8_t> block, std::int64_t nowMs) {
    std::vector<std::uint8_t> pixels(SHARED_SLOT_PIXEL_BYTES);
    SharedFrame frame;
    if (!ReadNewestSharedFrame(block, pixels, SharedFrame{}, nowMs, STALE_FRAME_MS, frame)) {
        return IDLE_CAMERA_SIZE;
    }
    return {frame.width, frame.height};
}
