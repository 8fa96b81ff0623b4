// Frames from one fake camera: the contract's layout at sizes whose rows the camera pads, and
// sizes the camera refuses.
#include <gtest/gtest.h>

#include "grablet_harness.h"
#include "support/fake_camera.h"

namespace {

// Blue at the top of the picture fading to red at the bottom, each row one colour.
FakeCamera GradientCamera() {
    return BgrCamera("Gradient",
                     "gradient background-color=0xff0000ff foreground-color=0xffff0000");
}

// Bottom-up packed rows of the gradient: each row uniform, green zero, red falling and blue
// rising from the first row (the picture's bottom) to the last (its top).
void ExpectGradientBottomUp(const std::vector<std::uint8_t>& frame, Size size) {
    ASSERT_EQ(frame.size(), static_cast<std::size_t>(size.width) * size.height * 3);
    const std::size_t rowBytes = static_cast<std::size_t>(size.width) * 3;
    for (std::int32_t y = 0; y < size.height; ++y) {
        const std::uint8_t* row = frame.data() + y * rowBytes;
        for (std::size_t x = 3; x < rowBytes; ++x) {
            ASSERT_EQ(row[x], row[x % 3]) << "row " << y << " byte " << x;
        }
        ASSERT_EQ(row[1], 0) << "row " << y;
        if (y > 0) {
            const std::uint8_t* below = row - rowBytes;
            ASSERT_LE(row[2], below[2]) << "row " << y;
            ASSERT_GE(row[0], below[0]) << "row " << y;
        }
    }
    const std::uint8_t* bottom = frame.data();
    const std::uint8_t* top = frame.data() + (size.height - 1) * rowBytes;
    EXPECT_GT(bottom[2], 200);
    EXPECT_LT(bottom[0], 50);
    EXPECT_GT(top[0], 200);
    EXPECT_LT(top[2], 50);
}

TEST(GrabletFrameTest, FramesAreBottomUpPackedAtEverySize) {
    SetFakeCameras({GradientCamera()});
    Grablet grablet;
    ASSERT_NE(grablet.onInit(nullptr), 0);
    EXPECT_EQ(grablet.Resolution(), (Size{320, 240}));
    ExpectGradientBottomUp(grablet.DeliveredFrame(), Size{320, 240});
    // Rows of 38 and 642 pixels are padded to four bytes in the camera's frames.
    for (const Size size : {Size{38, 30}, Size{642, 481}, Size{640, 480}}) {
        SCOPED_TRACE(std::to_string(size.width) + " x " + std::to_string(size.height));
        ASSERT_NE(grablet.setResolution(size.width, size.height), 0);
        EXPECT_EQ(grablet.Resolution(), size);
        ExpectGradientBottomUp(grablet.DeliveredFrame(), size);
    }
}

TEST(GrabletFrameTest, RefusedSizeKeepsThePreviousOneAndFramesFlow) {
    SetFakeCameras({GradientCamera()});
    Grablet grablet;
    ASSERT_NE(grablet.onInit(nullptr), 0);
    ASSERT_NE(grablet.setResolution(640, 480), 0);
    for (const Size size : {Size{2000, 480}, Size{640, 8}}) {
        SCOPED_TRACE(std::to_string(size.width) + " x " + std::to_string(size.height));
        EXPECT_EQ(grablet.setResolution(size.width, size.height), 0);
        EXPECT_EQ(grablet.Resolution(), (Size{640, 480}));
        ExpectGradientBottomUp(grablet.DeliveredFrame(), Size{640, 480});
    }
}

}  // namespace
