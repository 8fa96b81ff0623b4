// Taking over a connected size, whose frame byte count must fit the contract's 32 bits.
#include <gtest/gtest.h>

#include "plugin_state.h"

namespace {

TEST(GrabletStateTest, AdoptionZeroesTheFrameAndRefusesSizesBeyondTheByteCount) {
    PluginState state;
    ASSERT_TRUE(AdoptConnectedSize(state, PixelSize{4, 2}));
    state.frameBuffer[5] = 7;
    ASSERT_TRUE(AdoptConnectedSize(state, PixelSize{4, 2}));
    EXPECT_EQ(state.frameBuffer, std::vector<std::uint8_t>(24, 0));
    EXPECT_FALSE(AdoptConnectedSize(state, PixelSize{40000, 40000}));
    EXPECT_FALSE(AdoptConnectedSize(state, PixelSize{0, 480}));
    EXPECT_FALSE(AdoptConnectedSize(state, PixelSize{640, -480}));
    EXPECT_EQ(state.frameWidth, 4);
    EXPECT_EQ(state.frameHeight, 2);
    EXPECT_EQ(state.frameBuffer.size(), 24U);
}

}  // namespace
