#include "shared_frames.h"

#include <chrono>
#include <cstring>

#include "frame_rows.h"

static_assert(sizeof(SharedFrameSlot) == 24 && alignof(SharedFrameSlot) == 8);
static_assert(offsetof(SharedFramesHeader, pixelOffset) == 24);
static_assert(sizeof(SharedFramesHeader) == 40 + SHARED_FRAME_SLOTS * sizeof(SharedFrameSlot));
static_assert(sizeof(SharedFramesHeader) <= SHARED_FRAMES_PIXEL_OFFSET);
static_assert(std::atomic<std::uint32_t>::is_always_lock_free);

namespace {

// How often a reader starts its copy again when the slot changed under it.
constexpr int READ_ATTEMPTS = 4;

SharedFramesHeader& HeaderOf(SharedFramesWriter& writer) {
    return *reinterpret_cast<SharedFramesHeader*>(writer.block.data());
}

}  // namespace

std::int64_t SharedFramesClockMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void StartSharedFrames(SharedFramesWriter& writer, std::uint32_t session) {
    SharedFramesHeader& header = HeaderOf(writer);
    header.magic = SHARED_FRAMES_MAGIC;
    header.version = SHARED_FRAMES_VERSION;
    header.slotCount = SHARED_FRAME_SLOTS;
    header.session = session;
    header.pixelOffset = SHARED_FRAMES_PIXEL_OFFSET;
    header.slotPixelBytes = SHARED_SLOT_PIXEL_BYTES;
    for (SharedFrameSlot& slot : header.slots) {
        slot.sequence.store(0, std::memory_order_relaxed);
    }
    header.newest.store(0, std::memory_order_relaxed);
    writer.frame = 0;
    header.publishing.store(1, std::memory_order_release);
}

bool PublishSharedFrame(SharedFramesWriter& writer, const SurfaceView& picture,
                        std::int64_t timeMs) {
    if (!HasRows(picture) || picture.width > SHARED_FRAME_MAX_WIDTH ||
        picture.height > SHARED_FRAME_MAX_HEIGHT) {
        return false;
    }
    SharedFramesHeader& header = HeaderOf(writer);
    const std::uint32_t frame = writer.frame + 1;
    SharedFrameSlot& slot = header.slots[frame % SHARED_FRAME_SLOTS];
    slot.sequence.store(2 * frame + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);  // odd before any byte changes
    const std::size_t rowBytes = PackedRowBytes(picture.width);
    slot.width = picture.width;
    slot.height = picture.height;
    slot.stride = static_cast<std::int32_t>(rowBytes);
    slot.timeMs = timeMs;
    std::uint8_t* pixels = writer.block.data() + SHARED_FRAMES_PIXEL_OFFSET +
                           (frame % SHARED_FRAME_SLOTS) * SHARED_SLOT_PIXEL_BYTES;
    CopyRows(pixels, rowBytes, picture.pixels, static_cast<std::size_t>(picture.stride), rowBytes,
             static_cast<std::size_t>(picture.height), RowOrder::Same);
    slot.sequence.store(2 * frame + 2, std::memory_order_release);
    header.newest.store(frame, std::memory_order_release);
    writer.frame = frame;
    return true;
}

void StopSharedFrames(SharedFramesWriter& writer) {
    HeaderOf(writer).publishing.store(0, std::memory_order_release);
}

bool ReadNewestSharedFrame(std::span<const std::uint8_t> block, std::span<std::uint8_t> pixels,
                           const SharedFrame& last, std::int64_t nowMs, std::int64_t staleMs,
                           SharedFrame& frame) {
    if (block.size() < SHARED_FRAMES_PIXEL_OFFSET) {
        return false;
    }
    const auto& header = *reinterpret_cast<const SharedFramesHeader*>(block.data());
    if (header.magic != SHARED_FRAMES_MAGIC || header.version != SHARED_FRAMES_VERSION ||
        header.slotCount != SHARED_FRAME_SLOTS ||
        header.pixelOffset != SHARED_FRAMES_PIXEL_OFFSET ||
        header.slotPixelBytes != SHARED_SLOT_PIXEL_BYTES || block.size() < SHARED_FRAMES_BYTES ||
        header.publishing.load(std::memory_order_acquire) != 1) {
        return false;
    }
    for (int attempt = 0; attempt < READ_ATTEMPTS; ++attempt) {
        const std::uint32_t newest = header.newest.load(std::memory_order_acquire);
        if (newest == 0 || newest > UINT32_MAX / 2 - 1) {
            return false;
        }
        const std::size_t index = newest % SHARED_FRAME_SLOTS;
        const SharedFrameSlot& slot = header.slots[index];
        const std::uint32_t before = slot.sequence.load(std::memory_order_acquire);
        if (before != 2 * newest + 2) {
            continue;  // overwritten since it was named the newest
        }
        const std::int32_t width = slot.width;
        const std::int32_t height = slot.height;
        const std::int32_t stride = slot.stride;
        frame = {width, height, header.session, newest, slot.timeMs};
        if (width <= 0 || height <= 0 || width > SHARED_FRAME_MAX_WIDTH ||
            height > SHARED_FRAME_MAX_HEIGHT || stride < 3 * width ||
            static_cast<std::uint64_t>(stride) * static_cast<std::uint64_t>(height) >
                SHARED_SLOT_PIXEL_BYTES ||
            pixels.size() < PackedRowBytes(width) * static_cast<std::size_t>(height)) {
            return false;
        }
        const std::size_t rowBytes = PackedRowBytes(width);
        CopyRows(pixels.data(), rowBytes,
                 block.data() + SHARED_FRAMES_PIXEL_OFFSET + index * SHARED_SLOT_PIXEL_BYTES,
                 static_cast<std::size_t>(stride), rowBytes, static_cast<std::size_t>(height),
                 RowOrder::Same);
        std::atomic_thread_fence(std::memory_order_acquire);  // the copy before the second look
        if (slot.sequence.load(std::memory_order_relaxed) != before) {
            continue;
        }
        const bool backwards = frame.session == last.session && frame.frame < last.frame;
        // Compared with the reader's own times only: the written one may be any number.
        return !backwards && frame.timeMs >= nowMs - staleMs && frame.timeMs <= nowMs + staleMs;
    }
    return false;
}
