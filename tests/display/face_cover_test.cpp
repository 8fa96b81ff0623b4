#include "face_cover.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace {

constexpr std::int32_t WIDTH = 40;
constexpr std::int32_t HEIGHT = 30;

DisplaySurface NoiseSurface(std::uint32_t seed) {
    DisplaySurface surface;
    EXPECT_TRUE(CreateDisplaySurface(surface, WIDTH, HEIGHT));
    std::mt19937 random(seed);
    for (std::uint8_t& byte : surface.pixels) {
        byte = static_cast<std::uint8_t>(random());
    }
    return surface;
}

std::uint8_t& Byte(DisplaySurface& surface, std::int32_t x, std::int32_t y, int channel) {
    return surface.pixels[static_cast<std::size_t>(y * surface.stride + 3 * x + channel)];
}

bool Inside(const RegionBox& box, std::int32_t x, std::int32_t y) {
    return x >= box.left && x < box.right && y >= box.top && y < box.bottom;
}

// Boxes inside, past every edge, smaller than two cells, and of odd sides; the blur's strips are
// 16 pixels wide, so some are 16, 17, 32 and 33 wide or high, and two only one. Six are mostly
// off the surface, so the blur's radius (10, then 20) is near the lines it has on the surface:
// below, at and just past the radius, and around the 2 * radius + 2 lines its passes keep.
const RegionBox BOXES[] = {
    {5, 4, 25, 24},      {-7, -3, 10, 14},     {30, 20, 47, 37},   {-5, 10, 50, 55},
    {12, -20, 29, 5},    {3, 3, 4, 4},         {20, 7, 23, 10},    {0, 0, 61, 61},
    {38, 28, 41, 31},    {-50, -50, 2, 2},     {10, 10, 10, 20},   {45, 5, 60, 20},
    {2, 1, 18, 17},      {4, 0, 21, 17},       {1, -2, 33, 30},    {0, -3, 33, 30},
    {-111, -110, 9, 10}, {-109, -99, 11, 21},  {-98, -97, 22, 23}, {-80, -90, 40, 30},
    {19, 8, 139, 128},   {-219, -210, 21, 30}, {5, 0, 6, 30},      {0, 5, 40, 6},
};

TEST(FaceCoverTest, PixelateMatchesCellMeansAnchoredAtTheBoxCorner) {
    for (const RegionBox& box : BOXES) {
        DisplaySurface surface = NoiseSurface(7);
        DisplaySurface expected = surface;
        const std::int32_t side = box.right - box.left;
        const std::int32_t cell = std::max(2, (side + 7) / 8);
        for (std::int32_t y = std::max(box.top, 0); y < std::min(box.bottom, HEIGHT); ++y) {
            for (std::int32_t x = std::max(box.left, 0); x < std::min(box.right, WIDTH); ++x) {
                const std::int32_t cellLeft = box.left + (x - box.left) / cell * cell;
                const std::int32_t cellTop = box.top + (y - box.top) / cell * cell;
                for (int c = 0; c < 3; ++c) {
                    int sum = 0, count = 0;
                    for (std::int32_t v = cellTop; v < cellTop + cell; ++v) {
                        for (std::int32_t u = cellLeft; u < cellLeft + cell; ++u) {
                            if (Inside(box, u, v) && u >= 0 && v >= 0 && u < WIDTH && v < HEIGHT) {
                                sum += Byte(surface, u, v, c);
                                ++count;
                            }
                        }
                    }
                    Byte(expected, x, y, c) = static_cast<std::uint8_t>(sum / count);
                }
            }
        }
        CoverScratch scratch;
        PixelateBox(box, surface, scratch);
        EXPECT_EQ(surface.pixels, expected.pixels)
            << box.left << "," << box.top << "," << box.right << "," << box.bottom;
    }
}

// Three horizontal passes, then three vertical ones, over the pixels inside both the box and the
// surface, in doubles.
DisplaySurface ReferenceBlur(DisplaySurface surface, const RegionBox& box) {
    const std::int32_t x0 = std::max(box.left, 0), x1 = std::min(box.right, WIDTH);
    const std::int32_t y0 = std::max(box.top, 0), y1 = std::min(box.bottom, HEIGHT);
    if (x0 >= x1 || y0 >= y1) {
        return surface;
    }
    const std::int32_t radius = std::max(1, (box.right - box.left) / 12);
    const std::int32_t w = x1 - x0, h = y1 - y0;
    std::vector<double> values(static_cast<std::size_t>(3 * w * h));
    const auto at = [&](std::int32_t x, std::int32_t y, int c) -> double& {
        return values[static_cast<std::size_t>(3 * (y * w + x) + c)];
    };
    for (std::int32_t y = 0; y < h; ++y) {
        for (std::int32_t x = 0; x < w; ++x) {
            for (int c = 0; c < 3; ++c) {
                at(x, y, c) = Byte(surface, x0 + x, y0 + y, c);
            }
        }
    }
    for (int pass = 0; pass < 6; ++pass) {
        const bool across = pass < 3;
        std::vector<double> next = values;
        for (std::int32_t y = 0; y < h; ++y) {
            for (std::int32_t x = 0; x < w; ++x) {
                const std::int32_t along = across ? x : y, length = across ? w : h;
                for (int c = 0; c < 3; ++c) {
                    double sum = 0;
                    int count = 0;
                    for (std::int32_t i = std::max(0, along - radius);
                         i <= std::min(length - 1, along + radius); ++i, ++count) {
                        sum += across ? at(i, y, c) : at(x, i, c);
                    }
                    next[static_cast<std::size_t>(3 * (y * w + x) + c)] = sum / count;
                }
            }
        }
        values = next;
    }
    for (std::int32_t y = 0; y < h; ++y) {
        for (std::int32_t x = 0; x < w; ++x) {
            for (int c = 0; c < 3; ++c) {
                Byte(surface, x0 + x, y0 + y, c) =
                    static_cast<std::uint8_t>(std::lround(at(x, y, c)));
            }
        }
    }
    return surface;
}

// Every level's kernel gives the bytes of the portable one (a level the processor lacks runs the
// portable one again).
TEST(FaceCoverTest, BlurFollowsTheReferenceAndLeavesTheOutsideAlone) {
    CoverScratch scratch;  // reused, as by the paint, whatever the box before
    for (const RegionBox& box : BOXES) {
        DisplaySurface surface = NoiseSurface(11);
        DisplaySurface expected = ReferenceBlur(surface, box);
        const DisplaySurface before = surface;
        BlurBox(box, surface, scratch);
        for (const SimdLevel level :
             {SimdLevel::Scalar, SimdLevel::Sse41, SimdLevel::Avx2, SimdLevel::Avx512}) {
            DisplaySurface other = before;
            BlurBox(box, other, scratch, level);
            ASSERT_EQ(other.pixels, surface.pixels) << static_cast<int>(level);
        }
        for (std::int32_t y = 0; y < HEIGHT; ++y) {
            for (std::int32_t x = 0; x < WIDTH; ++x) {
                for (int c = 0; c < 3; ++c) {
                    const int got = Byte(surface, x, y, c);
                    const int want = Byte(expected, x, y, c);
                    // Rounding of halves may differ by one; outside the box nothing may change.
                    ASSERT_LE(std::abs(got - want), Inside(box, x, y) ? 1 : 0)
                        << box.left << "," << box.top << " at " << x << "," << y;
                }
            }
        }
    }
}

// Every side from 1 to 49, so the last strip and the last slice of each level's kernel end at every
// point they can; the box fills its surface's bottom-right corner, so a store past the last byte of
// the box is past the surface too. A second, shorter surface cuts the box off at other heights, so
// the rows a strip lacks need not match the columns it lacks.
TEST(FaceCoverTest, BlurKernelsAgreeAtEveryStripEnd) {
    CoverScratch scratch;
    for (std::int32_t side = 1; side <= 49; ++side) {
        for (const std::int32_t rows : {side, side * 2 / 3 + 1}) {
            DisplaySurface portable;
            ASSERT_TRUE(CreateDisplaySurface(portable, side + 3, rows + 2));
            std::mt19937 random(static_cast<std::uint32_t>(side));
            for (std::uint8_t& byte : portable.pixels) {
                byte = static_cast<std::uint8_t>(random());
            }
            const RegionBox box{3, 2, side + 3, side + 2};
            const DisplaySurface before = portable;
            BlurBox(box, portable, scratch, SimdLevel::Scalar);
            for (const SimdLevel level : {SimdLevel::Sse41, SimdLevel::Avx2, SimdLevel::Avx512}) {
                DisplaySurface other = before;
                BlurBox(box, other, scratch, level);
                ASSERT_EQ(other.pixels, portable.pixels)
                    << "side " << side << ", " << rows << " rows, level "
                    << static_cast<int>(level);
            }
        }
    }
}

// A reused scratch holds whatever the last box left, which the other tests may happen to match;
// full of NaN, any line of the rings or strips read before it is written spreads into the box.
TEST(FaceCoverTest, BlurReadsNoScratchItHasNotWritten) {
    for (const RegionBox& box : BOXES) {
        for (const SimdLevel level : {SimdLevel::Scalar, SimdLevel::Avx2, SimdLevel::Avx512}) {
            DisplaySurface clean = NoiseSurface(13);
            DisplaySurface dirty = clean;
            CoverScratch fresh, used;
            for (std::vector<float>* floats : {&used.rows, &used.columns, &used.rings}) {
                floats->assign(1 << 14, std::nanf(""));
            }
            BlurBox(box, clean, fresh, level);
            BlurBox(box, dirty, used, level);
            ASSERT_EQ(dirty.pixels, clean.pixels)
                << box.left << "," << box.top << " level " << static_cast<int>(level);
        }
    }
}

// A flat box inside wild noise stays exactly flat: nothing from outside bleeds in.
TEST(FaceCoverTest, BlurOfAFlatBoxStaysFlatWhateverSurroundsIt) {
    for (const RegionBox& box : {RegionBox{8, 6, 32, 30}, RegionBox{-4, 20, 18, 42}}) {
        DisplaySurface surface = NoiseSurface(3);
        for (std::int32_t y = std::max(box.top, 0); y < std::min(box.bottom, HEIGHT); ++y) {
            for (std::int32_t x = std::max(box.left, 0); x < std::min(box.right, WIDTH); ++x) {
                Byte(surface, x, y, 0) = 17;
                Byte(surface, x, y, 1) = 254;
                Byte(surface, x, y, 2) = 255;
            }
        }
        const DisplaySurface before = surface;
        CoverScratch scratch;
        BlurBox(box, surface, scratch);
        EXPECT_EQ(surface.pixels, before.pixels);
    }
}

// FNV-1a of a surface's pixels.
std::uint64_t Fingerprint(const DisplaySurface& surface) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const std::uint8_t byte : surface.pixels) {
        hash = (hash ^ byte) * 1099511628211ull;
    }
    return hash;
}

// The covers of camera-sized boxes give the bytes they gave before they were made faster: each
// fingerprint was taken from the first version, whose kernels the other tests check in detail.
TEST(FaceCoverTest, CoversOfLargeBoxesKeepTheirBytes) {
    struct Case {
        RegionBox box;
        std::uint64_t pixelated, blurred;
    };
    const Case cases[] = {
        {{170, 90, 470, 390}, 6176622616068914843ull, 11442536201487544320ull},
        {{-41, 301, 332, 674}, 297428575038984649ull, 15679708825892701308ull},
        {{601, 5, 700, 104}, 10997339658436856796ull, 901507593019929562ull},
        {{3, 2, 20, 19}, 11092054327763569644ull, 17488833923929198636ull},
        {{250, 200, 283, 233}, 11067379009274145105ull, 13854982159102537192ull},
    };
    DisplaySurface noise;
    ASSERT_TRUE(CreateDisplaySurface(noise, 701, 499));
    std::mt19937 random(5);
    for (std::uint8_t& byte : noise.pixels) {
        byte = static_cast<std::uint8_t>(random());
    }
    CoverScratch scratch;
    for (const Case& c : cases) {
        DisplaySurface pixelated = noise;
        PixelateBox(c.box, pixelated, scratch);
        EXPECT_EQ(Fingerprint(pixelated), c.pixelated) << c.box.left << "," << c.box.top;
        // Every level, since only these boxes have radii of a camera's faces.
        for (const SimdLevel level : {SimdLevel::Scalar, SimdLevel::Avx2, SimdLevel::Avx512}) {
            DisplaySurface blurred = noise;
            BlurBox(c.box, blurred, scratch, level);
            EXPECT_EQ(Fingerprint(blurred), c.blurred)
                << c.box.left << "," << c.box.top << " level " << static_cast<int>(level);
        }
    }
}

}  // namespace
