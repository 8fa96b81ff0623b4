// The covered picture handed from the viewer to the camera filter in other processes: one block
// of memory that both map (on Windows a named section), holding a header and SHARED_FRAME_SLOTS
// slots of up to SHARED_FRAME_MAX_WIDTH x SHARED_FRAME_MAX_HEIGHT pixels. The viewer writes each
// picture into the next slot and then names it the newest; a reader copies the newest out. A
// sequence number around each slot's writes (odd while writing) tells a reader that the slot
// changed under its copy, so it never delivers half a picture. The layout is the same for 32-bit
// and 64-bit processes. Readers check every field before use: any process can write the block.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

#include "surface_view.h"

inline constexpr std::uint32_t SHARED_FRAMES_MAGIC = 0x4B435652;  // "RVCK"
inline constexpr std::uint32_t SHARED_FRAMES_VERSION = 1;
inline constexpr std::uint32_t SHARED_FRAME_SLOTS = 3;
inline constexpr std::int32_t SHARED_FRAME_MAX_WIDTH = 1920;
inline constexpr std::int32_t SHARED_FRAME_MAX_HEIGHT = 1080;
inline constexpr std::size_t SHARED_SLOT_PIXEL_BYTES =
    std::size_t{3} * SHARED_FRAME_MAX_WIDTH * SHARED_FRAME_MAX_HEIGHT;

struct SharedFrameSlot {
    std::atomic<std::uint32_t> sequence;  // 2 * frame + 1 while written, 2 * frame + 2 when whole
    std::int32_t width;
    std::int32_t height;
    std::int32_t stride;  // bytes per row of the slot's pixels, rows top-down, 3 bytes B, G, R
    alignas(8) std::int64_t timeMs;  // the writer's steady clock at the paint
};

struct SharedFramesHeader {
    std::uint32_t magic;
    std::uint32_t version;
    std::uint32_t slotCount;
    std::uint32_t session;                  // changes when a viewer starts publishing
    std::atomic<std::uint32_t> newest;      // frame number of the newest whole picture, 0: none
    std::atomic<std::uint32_t> publishing;  // 1 while a viewer publishes
    alignas(8) std::uint64_t pixelOffset;   // from the block's start to slot 0's pixels
    std::uint64_t slotPixelBytes;           // from one slot's pixels to the next
    SharedFrameSlot slots[SHARED_FRAME_SLOTS];
};

inline constexpr std::size_t SHARED_FRAMES_PIXEL_OFFSET = 4096;
inline constexpr std::size_t SHARED_FRAMES_BYTES =
    SHARED_FRAMES_PIXEL_OFFSET + SHARED_FRAME_SLOTS * SHARED_SLOT_PIXEL_BYTES;

// On Windows, the block is a named section and an event is set after each picture, both in the
// session's namespace: the viewer makes them, the camera filter in other processes opens them.
inline constexpr wchar_t SHARED_FRAMES_SECTION_NAME[] = L"Local\\RavkelerCameraFrames";
inline constexpr wchar_t SHARED_FRAMES_EVENT_NAME[] = L"Local\\RavkelerCameraFramePublished";

// The clock of timeMs and of a reader's nowMs, in milliseconds: steady, and one clock for every
// process on the machine.
std::int64_t SharedFramesClockMs();

// The writer's side. The block is SHARED_FRAMES_BYTES long and 8-byte aligned.
struct SharedFramesWriter {
    std::span<std::uint8_t> block;
    std::uint32_t frame = 0;  // the last frame number published
};

// Lays the header out (any earlier content is replaced) and marks the block published from now,
// under a new session number.
void StartSharedFrames(SharedFramesWriter& writer, std::uint32_t session);

// Copies picture (at most SHARED_FRAME_MAX_WIDTH x SHARED_FRAME_MAX_HEIGHT) into the next slot and
// names it the newest. False, publishing nothing, for a picture without rows or too large.
bool PublishSharedFrame(SharedFramesWriter& writer, const SurfaceView& picture,
                        std::int64_t timeMs);

// Marks the block unpublished: readers show their own still picture from now on.
void StopSharedFrames(SharedFramesWriter& writer);

// What a reader copied out.
struct SharedFrame {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint32_t session = 0;
    std::uint32_t frame = 0;
    std::int64_t timeMs = 0;
};

// Copies the newest whole picture into pixels as tight top-down rows (3 * width bytes each) and
// describes it in frame. False, with pixels' content unspecified, when the block is too small or
// not laid out by a writer of this version, nobody publishes, no picture is whole, a field is out
// of range, the newest picture is older than staleMs at nowMs (a viewer that stopped without
// saying so), its frame number runs backwards against last within one session, or pixels is too
// small. A picture changing under the copy is tried again a few times before giving up.
bool ReadNewestSharedFrame(std::span<const std::uint8_t> block, std::span<std::uint8_t> pixels,
                           const SharedFrame& last, std::int64_t nowMs, std::int64_t staleMs,
                           SharedFrame& frame);
