#include "presentation.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "display_surface.h"

namespace {

// A surface whose pixel (x, r) has red = r % 256, green = x / 256, blue = x % 256, so every pixel
// of a row up to 65535 wide is told apart.
DisplaySurface Numbered(std::int32_t width, std::int32_t height) {
    DisplaySurface surface;
    EXPECT_TRUE(CreateDisplaySurface(surface, width, height));
    for (std::int32_t r = 0; r < height; ++r) {
        for (std::int32_t x = 0; x < width; ++x) {
            std::uint8_t* p = &surface.pixels[static_cast<std::size_t>(r * surface.stride + 3 * x)];
            p[0] = static_cast<std::uint8_t>(x % 256);
            p[1] = static_cast<std::uint8_t>(x / 256);
            p[2] = static_cast<std::uint8_t>(r % 256);
        }
    }
    return surface;
}

// What the picture area shows, as bitmap rows.
std::vector<std::uint8_t> Render(const DisplaySurface& surface) {
    std::vector<std::uint8_t> picture(PICTURE_BYTES);
    const SurfaceView shown =
        PictureToShow(View(surface), PictureBits(picture.data(), PICTURE_BYTES));
    EXPECT_EQ(shown.width, 640);
    EXPECT_EQ(shown.height, 480);
    EXPECT_EQ(static_cast<std::size_t>(shown.stride), PICTURE_STRIDE);
    return {shown.pixels, shown.pixels + PICTURE_BYTES};
}

const std::uint8_t* At(const std::vector<std::uint8_t>& picture, std::int32_t x, std::int32_t y) {
    return &picture[static_cast<std::size_t>(y) * PICTURE_STRIDE + 3 * static_cast<std::size_t>(x)];
}
std::int32_t SourceColumn(const std::uint8_t* p) {
    return p[0] + 256 * p[1];
}
std::int32_t SourceRow(const std::uint8_t* p) {
    return p[2];
}

TEST(PresentationTest, A640By480SurfaceIsShownItselfUncopied) {
    const DisplaySurface surface = Numbered(640, 480);
    std::vector<std::uint8_t> picture(PICTURE_BYTES, 7);
    const SurfaceView shown =
        PictureToShow(View(surface), PictureBits(picture.data(), PICTURE_BYTES));
    EXPECT_EQ(shown.pixels, surface.pixels.data());
    EXPECT_EQ(static_cast<std::size_t>(shown.stride), PICTURE_STRIDE);
    EXPECT_EQ(picture, std::vector<std::uint8_t>(PICTURE_BYTES, 7));
}

TEST(PresentationTest, A320By240SurfaceIsDoubledInBothDirections) {
    const std::vector<std::uint8_t> picture = Render(Numbered(320, 240));
    for (std::int32_t y = 0; y < 480; ++y) {
        for (std::int32_t x = 0; x < 640; ++x) {
            ASSERT_EQ(SourceColumn(At(picture, x, y)), x / 2);
            ASSERT_EQ(SourceRow(At(picture, x, y)), y / 2);
        }
    }
}

TEST(PresentationTest, A720By480SurfaceDropsEightyWholeColumnsAndKeepsTheRows) {
    const std::vector<std::uint8_t> picture = Render(Numbered(720, 480));
    EXPECT_EQ(SourceColumn(At(picture, 0, 0)), 0);
    EXPECT_EQ(SourceColumn(At(picture, 639, 0)), 719);
    for (std::int32_t x = 1; x < 640; ++x) {
        const std::int32_t step =
            SourceColumn(At(picture, x, 0)) - SourceColumn(At(picture, x - 1, 0));
        ASSERT_TRUE(step == 1 || step == 2) << "column " << x;
    }
    for (std::int32_t y = 0; y < 480; ++y) {
        ASSERT_EQ(SourceRow(At(picture, 5, y)), y % 256);
    }
}

TEST(PresentationTest, TinyAndOddSurfacesReachTheirCornersAndNoFurther) {
    // The surface's storage ends exactly after its last row, so a read past it is caught.
    for (const auto& [width, height] : {std::pair{3, 2}, std::pair{1, 1}, std::pair{1000, 700}}) {
        const std::vector<std::uint8_t> picture = Render(Numbered(width, height));
        EXPECT_EQ(SourceColumn(At(picture, 0, 0)), 0);
        EXPECT_EQ(SourceColumn(At(picture, 639, 479)), width - 1);
        EXPECT_EQ(SourceRow(At(picture, 639, 479)), (height - 1) % 256);
    }
}

TEST(PresentationTest, AnAbsentSurfaceShowsNothing) {
    std::vector<std::uint8_t> picture(PICTURE_BYTES, 7);
    EXPECT_EQ(
        PictureToShow(View(DisplaySurface{}), PictureBits(picture.data(), PICTURE_BYTES)).pixels,
        nullptr);
    EXPECT_EQ(picture, std::vector<std::uint8_t>(PICTURE_BYTES, 7));
}

TEST(DisplaySurfaceTest, RowsArePaddedToFourBytesAndStartBlack) {
    for (const auto& [width, stride] : {std::pair{320, 960}, std::pair{5, 16}, std::pair{1, 4}}) {
        DisplaySurface surface;
        ASSERT_TRUE(CreateDisplaySurface(surface, width, 3));
        EXPECT_EQ(surface.stride, stride);
        EXPECT_EQ(surface.pixels,
                  std::vector<std::uint8_t>(static_cast<std::size_t>(stride) * 3, 0));
        const SurfaceView view = View(surface);
        EXPECT_EQ(view.pixels, surface.pixels.data());
        EXPECT_EQ(view.width, width);
        EXPECT_EQ(view.height, 3);
        EXPECT_EQ(view.stride, stride);
    }
}

TEST(DisplaySurfaceTest, ReplacementIsBlackAndBogusSizesLeaveNoSurface) {
    DisplaySurface surface = Numbered(8, 8);
    ASSERT_TRUE(CreateDisplaySurface(surface, 4, 2));
    EXPECT_EQ(surface.pixels, std::vector<std::uint8_t>(24, 0));
    for (const auto& [width, height] :
         {std::pair{0, 480}, std::pair{640, -1}, std::pair{100000, 2}, std::pair{16384, 16384}}) {
        EXPECT_FALSE(CreateDisplaySurface(surface, width, height));
        EXPECT_TRUE(surface.pixels.empty());
        EXPECT_EQ(View(surface).pixels, nullptr);
        EXPECT_EQ(View(surface).width, 0);
    }
}

}  // namespace
