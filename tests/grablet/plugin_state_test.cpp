// The portable steps on untrusted sizes: frames from the capture layer and negotiated sizes.
#include <gtest/gtest.h>

#include "plugin_state.h"

namespace {

TEST(GrabletStateTest, TopDownRowsWithPaddingBecomeBottomUpPacked) {
    // Two rows of one pixel, each padded to four bytes.
    const std::vector<std::uint8_t> source{1, 2, 3, 0, 4, 5, 6, 0};
    std::vector<std::uint8_t> frame(6, 9);
    ASSERT_TRUE(CopyTopDownFrame(source.data(), source.size(), 4, FrameSize{1, 2}, frame.data()));
    EXPECT_EQ(frame, (std::vector<std::uint8_t>{4, 5, 6, 1, 2, 3}));
}

TEST(GrabletStateTest, ShortOrInconsistentSourcesWriteNothing) {
    const std::vector<std::uint8_t> source(7, 1);
    std::vector<std::uint8_t> frame(6, 9);
    // The last row needs bytes 4..6 of a 4-byte stride: 7 bytes suffice, 6 do not.
    EXPECT_FALSE(CopyTopDownFrame(source.data(), 6, 4, FrameSize{1, 2}, frame.data()));
    EXPECT_FALSE(CopyTopDownFrame(source.data(), 7, 2, FrameSize{1, 2}, frame.data()));
    EXPECT_FALSE(CopyTopDownFrame(source.data(), 2, 4, FrameSize{1, 1}, frame.data()));
    EXPECT_FALSE(CopyTopDownFrame(source.data(), 7, 4, FrameSize{0, 2}, frame.data()));
    EXPECT_EQ(frame, std::vector<std::uint8_t>(6, 9));
    EXPECT_TRUE(CopyTopDownFrame(source.data(), 7, 4, FrameSize{1, 2}, frame.data()));
}

TEST(GrabletStateTest, AdoptionZeroesTheFrameAndRefusesSizesBeyondTheByteCount) {
    PluginState state;
    ASSERT_TRUE(AdoptConnectedSize(state, FrameSize{4, 2}));
    state.frameBuffer[5] = 7;
    ASSERT_TRUE(AdoptConnectedSize(state, FrameSize{4, 2}));
    EXPECT_EQ(state.frameBuffer, std::vector<std::uint8_t>(24, 0));
    EXPECT_FALSE(AdoptConnectedSize(state, FrameSize{40000, 40000}));
    EXPECT_FALSE(AdoptConnectedSize(state, FrameSize{0, 480}));
    EXPECT_EQ(state.frameWidth, 4);
    EXPECT_EQ(state.frameHeight, 2);
    EXPECT_EQ(state.frameBuffer.size(), 24U);
}

}  // namespace
