// The reader's side of the shared frames against a block any process may have written: every
// hostile or unusable header gives false and no read outside the block (AddressSanitizer).
#include "shared_frames.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <vector>

namespace {

constexpr std::int32_t WIDTH = 5;
constexpr std::int32_t HEIGHT = 3;
constexpr std::int64_t PAINTED_MS = 10'000;
constexpr std::int64_t STALE_MS = 1000;

std::vector<std::uint8_t> Picture() {
    std::vector<std::uint8_t> rows(3 * WIDTH * HEIGHT);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i] = static_cast<std::uint8_t>(7 * i + 1);
    }
    return rows;
}

TEST(SharedFramesTest, TheReaderTakesOnlyAWholeFreshPictureOfSaneSize) {
    struct Case {
        const char* name;
        std::function<void(SharedFramesHeader&, SharedFrameSlot& newest)> spoil;
        bool read;
        std::int64_t nowMs = PAINTED_MS;
        SharedFrame last{};
        std::size_t blockBytes = SHARED_FRAMES_BYTES;
        std::size_t pixelBytes = 3 * WIDTH * HEIGHT;
    };
    const auto none = [](SharedFramesHeader&, SharedFrameSlot&) {};
    const Case cases[] = {
        {"whole and fresh", none, true},
        {"a little older than the stale limit", none, false, PAINTED_MS + STALE_MS + 1},
        {"far in the future", none, false, PAINTED_MS - STALE_MS - 1},
        {"not publishing", [](auto& h, auto&) { h.publishing = 0; }, false},
        {"bad magic", [](auto& h, auto&) { h.magic ^= 1; }, false},
        {"another version", [](auto& h, auto&) { h.version = 2; }, false},
        {"another slot count", [](auto& h, auto&) { h.slotCount = 1000; }, false},
        {"pixels elsewhere", [](auto& h, auto&) { h.pixelOffset = UINT64_MAX - 8; }, false},
        {"larger slots", [](auto& h, auto&) { h.slotPixelBytes *= 2; }, false},
        {"no picture yet", [](auto& h, auto&) { h.newest = 0; }, false},
        {"huge frame number", [](auto& h, auto&) { h.newest = UINT32_MAX; }, false},
        {"half written", [](auto&, auto& s) { s.sequence = s.sequence - 1; }, false},
        {"overwritten since", [](auto&, auto& s) { s.sequence = s.sequence + 2; }, false},
        {"huge width", [](auto&, auto& s) { s.width = INT32_MAX; }, false},
        {"huge height", [](auto&, auto& s) { s.height = 1 << 20; }, false},
        {"negative width", [](auto&, auto& s) { s.width = -WIDTH; }, false},
        {"zero height", [](auto&, auto& s) { s.height = 0; }, false},
        {"negative stride", [](auto&, auto& s) { s.stride = -3 * WIDTH; }, false},
        {"stride below the row", [](auto&, auto& s) { s.stride = 3 * WIDTH - 1; }, false},
        {"stride past the slot", [](auto&, auto& s) { s.stride = INT32_MAX; }, false},
        // 3 x 1431655766 is 2 in 32 bits.
        {"stride whose size wraps", [](auto&, auto& s) { s.stride = 1431655766; }, false},
        {"time at the clock's start", [](auto&, auto& s) { s.timeMs = INT64_MIN; }, false},
        {"time at the clock's end", [](auto&, auto& s) { s.timeMs = INT64_MAX; }, false},
        {"counter backwards", none, false, PAINTED_MS, SharedFrame{0, 0, 7, 3, 0}},
        {"counter backwards in an earlier session", none, true, PAINTED_MS,
         SharedFrame{0, 0, 6, 3, 0}},
        {"block too small", none, false, PAINTED_MS, {}, SHARED_FRAMES_BYTES - 1},
        {"header cut short", none, false, PAINTED_MS, {}, 64},
        {"pixels too small", none, false, PAINTED_MS, {}, SHARED_FRAMES_BYTES, 3 * WIDTH},
    };
    const std::vector<std::uint8_t> picture = Picture();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> block(SHARED_FRAMES_BYTES);
        SharedFramesWriter writer{block};
        StartSharedFrames(writer, 7);
        for (int i = 0; i < 2; ++i) {  // frame 1, then frame 2
            ASSERT_TRUE(
                PublishSharedFrame(writer, {picture.data(), WIDTH, HEIGHT, 3 * WIDTH}, PAINTED_MS));
        }
        auto& header = *reinterpret_cast<SharedFramesHeader*>(block.data());
        c.spoil(header, header.slots[2 % SHARED_FRAME_SLOTS]);
        block.resize(c.blockBytes);  // a short block as its own allocation, so a read past it shows
        block.shrink_to_fit();
        std::vector<std::uint8_t> pixels(c.pixelBytes);
        SharedFrame frame;
        const bool read = ReadNewestSharedFrame(block, pixels, c.last, c.nowMs, STALE_MS, frame);
        EXPECT_EQ(read, c.read);
        if (read) {
            EXPECT_EQ(pixels, picture);
            EXPECT_EQ(frame.frame, 2u);
            EXPECT_EQ(frame.session, 7u);
        }
    }
}

}  // namespace
