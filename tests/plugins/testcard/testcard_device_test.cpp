#include "testcard_device.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "testcard_scene.h"

namespace {

std::vector<std::uint8_t> Captured(TestcardDevice& device, std::int64_t nowMs) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(device.width) * device.height * 3);
    EXPECT_EQ(CaptureTestcard(device, bytes.data(), nowMs),
              static_cast<std::int32_t>(bytes.size()));
    return bytes;
}

std::vector<std::uint8_t> Scene(std::int32_t width, std::int32_t height, std::int64_t ms) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(width) * height * 3);
    PaintTestcardScene(bytes.data(), MakeTestcardBackdrop(width, height), ms);
    return bytes;
}

bool AllZero(const std::vector<std::uint8_t>& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

TEST(TestcardDeviceTest, OnlyARunningSourceHasFrames) {
    TestcardDevice device;
    std::uint8_t untouched[4] = {7, 7, 7, 7};
    EXPECT_EQ(CaptureTestcard(device, untouched, 100), 0);
    EXPECT_EQ(untouched[0], 7);
    EXPECT_FALSE(ResizeTestcard(device, 320, 240, 100));

    StartTestcard(device);
    EXPECT_EQ(CaptureTestcard(device, nullptr, 0), 640 * 480 * 3);
    EXPECT_FALSE(ResizeTestcard(device, 321, 240, 10));
    EXPECT_EQ(device.width, 640);

    StopTestcard(device);
    EXPECT_EQ(CaptureTestcard(device, untouched, 100), 0);
    EXPECT_EQ(device.width, 0);
    EXPECT_EQ(device.height, 0);
}

TEST(TestcardDeviceTest, FrameIsBlackAfterStartAndResizeUntilTheNextInterval) {
    TestcardDevice device;
    StartTestcard(device);
    EXPECT_TRUE(AllZero(Captured(device, 39)));
    EXPECT_EQ(Captured(device, 40), Scene(640, 480, 40));

    ASSERT_TRUE(ResizeTestcard(device, 320, 240, 95));
    EXPECT_TRUE(AllZero(Captured(device, 100)));
    EXPECT_EQ(Captured(device, 121), Scene(320, 240, 120));
}

TEST(TestcardDeviceTest, CapturesWithinOneIntervalShareOnePicture) {
    TestcardDevice device;
    StartTestcard(device);
    const std::vector<std::uint8_t> first = Captured(device, 1000);
    EXPECT_EQ(first, Scene(640, 480, 1000));
    EXPECT_EQ(Captured(device, 1039), first);
    EXPECT_EQ(Captured(device, 1040), Scene(640, 480, 1040));
}

}  // namespace
