#include "frame_image.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

bool AllBlack(const FrameImage& image) {
    return std::all_of(image.pixels.begin(), image.pixels.end(),
                       [](const Pixel24& p) { return p == Pixel24{}; });
}

TEST(FrameImageTest, ConstructedImageIsBlackWithOnePixelPerCell) {
    const FrameImage image = MakeFrameImage(5, 3);
    EXPECT_EQ(image.width, 5);
    EXPECT_EQ(image.height, 3);
    EXPECT_EQ(image.pixels.size(), 15u);
    EXPECT_TRUE(AllBlack(image));
}

TEST(FrameImageTest, NegativeSizeGivesAnEmptyImage) {
    for (const FrameImage& image : {MakeFrameImage(-1, 4), MakeFrameImage(4, -1)}) {
        EXPECT_TRUE(image.pixels.empty());
        EXPECT_EQ(image.width, 0);
        EXPECT_EQ(image.height, 0);
    }
}

TEST(FrameImageTest, ResizeClearsEvenWhenTheSizeIsUnchanged) {
    FrameImage image = MakeFrameImage(4, 2);
    std::fill(image.pixels.begin(), image.pixels.end(), Pixel24{1, 2, 3});
    ResizeFrameImage(image, 4, 2);
    EXPECT_EQ(image.pixels.size(), 8u);
    EXPECT_TRUE(AllBlack(image));

    const Pixel24* storage = image.pixels.data();
    std::fill(image.pixels.begin(), image.pixels.end(), Pixel24{1, 2, 3});
    ResizeFrameImage(image, 2, 3);
    EXPECT_EQ(image.width, 2);
    EXPECT_EQ(image.height, 3);
    EXPECT_EQ(image.pixels.size(), 6u);
    EXPECT_TRUE(AllBlack(image));
    EXPECT_EQ(image.pixels.data(), storage) << "a smaller size reuses the storage";
}

TEST(FrameImageTest, CopyOwnsItsPixels) {
    FrameImage original = MakeFrameImage(2, 2);
    const FrameImage copy = original;
    original.pixels[0] = {9, 9, 9};
    EXPECT_EQ(copy.pixels[0], Pixel24{});
    EXPECT_EQ(copy.width, 2);
    EXPECT_EQ(copy.height, 2);
}

TEST(FrameImageTest, ReleaseLeavesAnEmptyImage) {
    FrameImage image = MakeFrameImage(8, 8);
    ReleaseFrameImage(image);
    EXPECT_TRUE(image.pixels.empty());
    EXPECT_EQ(image.pixels.capacity(), 0u);
    EXPECT_EQ(image.width, 0);
    EXPECT_EQ(image.height, 0);
}

}  // namespace
