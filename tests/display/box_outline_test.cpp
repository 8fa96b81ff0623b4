#include "box_outline.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <utility>

namespace {

// The red pixels of a surface, as (x, r) pairs.
std::set<std::pair<std::int32_t, std::int32_t>> RedPixels(const DisplaySurface& surface) {
    std::set<std::pair<std::int32_t, std::int32_t>> red;
    for (std::int32_t r = 0; r < surface.height; ++r) {
        for (std::int32_t x = 0; x < surface.width; ++x) {
            const std::uint8_t* p =
                &surface.pixels[static_cast<std::size_t>(r * surface.stride + 3 * x)];
            if (p[0] == 0 && p[1] == 0 && p[2] == 255) {
                red.insert({x, r});
            }
        }
    }
    return red;
}

DisplaySurface Surface(std::int32_t width, std::int32_t height) {
    DisplaySurface surface;
    EXPECT_TRUE(CreateDisplaySurface(surface, width, height));
    return surface;
}

TEST(BoxOutlineTest, TwoPixelLinesStraddleEachEdgeFromLeftMinusOneToRight) {
    DisplaySurface surface = Surface(12, 10);
    DrawBoxOutline({3, 2, 8, 7}, surface);
    std::set<std::pair<std::int32_t, std::int32_t>> expected;
    for (std::int32_t x = 2; x <= 8; ++x) {
        for (std::int32_t r : {1, 2, 6, 7}) {
            expected.insert({x, r});
        }
    }
    for (std::int32_t r = 1; r <= 7; ++r) {
        for (std::int32_t x : {2, 3, 7, 8}) {
            expected.insert({x, r});
        }
    }
    EXPECT_EQ(RedPixels(surface), expected);
}

TEST(BoxOutlineTest, BoxesPastTheEdgesDrawTheirVisiblePartOnly) {
    // The same box drawn on a surface 20 pixels larger on every side, then cut to the window.
    for (const RegionBox box :
         {RegionBox{-3, -4, 5, 4}, RegionBox{6, 5, 15, 14}, RegionBox{-1, 0, 11, 10},
          RegionBox{-8, -8, 30, 30}, RegionBox{20, 20, 24, 24}}) {
        DisplaySurface surface = Surface(11, 10);  // stride 36: three bytes of row padding
        DrawBoxOutline(box, surface);
        DisplaySurface large = Surface(51, 50);
        DrawBoxOutline({box.left + 20, box.top + 20, box.right + 20, box.bottom + 20}, large);
        std::set<std::pair<std::int32_t, std::int32_t>> visible;
        for (const auto& [x, r] : RedPixels(large)) {
            if (x >= 20 && x < 31 && r >= 20 && r < 30) {
                visible.insert({x - 20, r - 20});
            }
        }
        EXPECT_EQ(RedPixels(surface), visible)
            << box.left << ", " << box.top << ", " << box.right << ", " << box.bottom;
        for (std::int32_t r = 0; r < 10; ++r) {
            for (std::size_t padding = 33; padding < 36; ++padding) {
                EXPECT_EQ(surface.pixels[static_cast<std::size_t>(r) * 36 + padding], 0);
            }
        }
    }
}

TEST(BoxOutlineTest, BoxesAtTheEndsOfTheIntegerRangeAreSafe) {
    DisplaySurface surface = Surface(4, 4);
    DrawBoxOutline({INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, surface);
    EXPECT_TRUE(RedPixels(surface).empty());
}

}  // namespace
