#include "skin_color.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <ostream>
#include <random>
#include <utility>
#include <vector>

#include "analyze_frame.h"
#include "skin_mask_kernels.h"

namespace {

// The conversion as defined: double-precision steps, each result truncated toward zero.
HsbColor ReferenceHsb(int red, int green, int blue) {
    const int max = std::max(std::max(red, green), blue);
    const int min = std::min(std::min(red, green), blue);
    const int delta = max - min;
    double hue = 0.0;
    if (delta != 0) {
        if (green == max) {
            hue = static_cast<double>(blue - red) / delta * 60.0 + 120;
        } else if (blue == max) {
            hue = static_cast<double>(red - green) / delta * 60.0 + 240;
        } else {
            hue = static_cast<double>(green - blue) / delta * 60.0 + (green >= blue ? 0 : 360);
        }
    }
    const double saturation = max == 0 ? 0.0 : static_cast<double>(delta) / max * 100.0;
    return {static_cast<std::uint16_t>(static_cast<int>(hue)),
            static_cast<std::uint8_t>(static_cast<int>(saturation)),
            static_cast<std::uint8_t>(max * 100 / 255)};
}

// A 4096 x 4096 frame holding each of the 2^24 colours once: pixel index = 0xRRGGBB.
const FrameImage& AllColours() {
    static const FrameImage frame = [] {
        FrameImage colours = MakeFrameImage(4096, 4096);
        Pixel24* pixels = colours.pixels.data();  // raw: quick in unoptimised sanitizer builds
        for (std::size_t i = 0; i < colours.pixels.size(); ++i) {
            pixels[i] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 8),
                         static_cast<std::uint8_t>(i >> 16)};
        }
        return colours;
    }();
    return frame;
}

TEST(RgbToHsb, MatchesDoubleFormulasForEveryColour) {
    const FrameImage& colours = AllColours();
    const Pixel24* pixels = colours.pixels.data();
    for (std::size_t i = 0; i < colours.pixels.size(); ++i) {
        const Pixel24 pixel = pixels[i];
        const HsbColor color = RgbToHsb(pixel.red, pixel.green, pixel.blue);
        const HsbColor expected = ReferenceHsb(pixel.red, pixel.green, pixel.blue);
        if (color != expected) {
            FAIL() << "colour 0x" << std::hex << i << std::dec << ": got " << color.hue << "/"
                   << int{color.saturation} << "/" << int{color.brightness} << ", expected "
                   << expected.hue << "/" << int{expected.saturation} << "/"
                   << int{expected.brightness};
        }
    }
}

struct NamedRange {
    const char* name;
    SkinColorRange range;
};

void PrintTo(const NamedRange& range, std::ostream* out) {
    *out << range.name;
}

constexpr SimdLevel VECTOR_LEVELS[] = {SimdLevel::Sse41, SimdLevel::Avx2, SimdLevel::Avx512,
                                       SimdLevel::Avx512Vbmi};

const char* LevelName(SimdLevel level) {
    switch (level) {
        case SimdLevel::Scalar:
            return "scalar";
        case SimdLevel::Sse41:
            return "SSE4.1";
        case SimdLevel::Avx2:
            return "AVX2";
        case SimdLevel::Avx512:
            return "AVX-512";
        case SimdLevel::Avx512Vbmi:
            return "AVX-512 VBMI";
    }
    return "?";
}

class EveryColourMask : public testing::TestWithParam<NamedRange> {};

// The scalar kernel is RgbToHsb and IsSkinColor per pixel, checked for every colour above and
// on small frames below; here the vector kernels meet the definition for every colour.
TEST_P(EveryColourMask, VectorKernelsMatchDefinition) {
    const FrameImage& colours = AllColours();
    const SkinColorRange& range = GetParam().range;
    const std::size_t count = colours.pixels.size();
    const Pixel24* pixels = colours.pixels.data();
    std::vector<std::uint8_t> expected(count);
    for (std::size_t i = 0; i < count; ++i) {
        const HsbColor color = ReferenceHsb(pixels[i].red, pixels[i].green, pixels[i].blue);
        expected.data()[i] = IsSkinColor(color, range) ? 255 : 0;
    }
    for (const SimdLevel level : VECTOR_LEVELS) {
        if (!SimdLevelSupported(level)) {
            continue;
        }
        const SkinMask mask = BuildSkinMask(colours, range, level);
        ASSERT_EQ(mask.cells.size(), count);
        if (std::memcmp(mask.cells.data(), expected.data(), count) != 0) {
            const auto [got, want] =
                std::mismatch(mask.cells.begin(), mask.cells.end(), expected.begin());
            ADD_FAILURE() << LevelName(level) << ", colour 0x" << std::hex
                          << (got - mask.cells.begin()) << std::dec << ": got " << int{*got}
                          << ", expected " << int{*want};
        }
    }
}

constexpr std::uint32_t MAX_U32 = 0xFFFFFFFF;

// Ranges with bounds where the rounded-down saturations, the clamped factors, the grey hue 0 and
// the brightness steps decide the outcome.
INSTANTIATE_TEST_SUITE_P(
    Ranges, EveryColourMask,
    testing::Values(NamedRange{"Defaults", {}},
                    NamedRange{"Saturation29To57", {0, 59, 300, 359, 29, 57, 0, 100}},
                    NamedRange{"Saturation28To56", {0, 59, 300, 359, 28, 56, 20, 99}},
                    NamedRange{"Saturation58Only", {60, 180, 181, 359, 58, 58, 1, 100}},
                    NamedRange{"EverythingOpen", {0, MAX_U32, 0, MAX_U32, 0, MAX_U32, 0, MAX_U32}},
                    NamedRange{"HueZeroAndGreys", {0, 0, MAX_U32, MAX_U32, 0, 0, 0, 100}},
                    NamedRange{"SectorEdgesBrightness20", {60, 60, 180, 300, 0, 100, 20, 20}},
                    NamedRange{"OneBandInverted", {50, 40, 180, 240, 10, 90, 10, 90}},
                    NamedRange{"HugeMinimums",
                               {MAX_U32, MAX_U32, 200, MAX_U32, MAX_U32, MAX_U32, 0, 100}},
                    NamedRange{"UnreachableBrightness", {0, 359, 0, 0, 0, 100, 101, 200}}),
    [](const testing::TestParamInfo<NamedRange>& info) { return info.param.name; });

TEST(RgbToHsb, DescribedColours) {
    struct Case {
        int red, green, blue;
        HsbColor expected;
    };
    const Case cases[] = {
        {0, 0, 0, {0, 0, 0}},           {128, 128, 128, {0, 0, 50}},
        {255, 0, 0, {0, 100, 100}},     {200, 150, 120, {22, 40, 78}},
        {200, 120, 150, {337, 40, 78}}, {255, 0, 64, {344, 100, 100}},
        {100, 71, 71, {0, 28, 39}},     {254, 254, 254, {0, 0, 99}},
        {51, 0, 51, {300, 100, 20}},    {200, 200, 100, {60, 50, 78}},
        {100, 200, 200, {180, 50, 78}}, {200, 100, 200, {300, 50, 78}},
    };
    for (const Case& c : cases) {
        const HsbColor color =
            RgbToHsb(static_cast<std::uint8_t>(c.red), static_cast<std::uint8_t>(c.green),
                     static_cast<std::uint8_t>(c.blue));
        EXPECT_EQ(color, c.expected)
            << c.red << "," << c.green << "," << c.blue << " gave " << color.hue << "/"
            << int{color.saturation} << "/" << int{color.brightness};
        EXPECT_EQ(color, ReferenceHsb(c.red, c.green, c.blue));
    }
}

TEST(IsSkinColor, DefaultsAcceptBothHueBandsWithinSaturation) {
    const SkinColorRange defaults;
    EXPECT_TRUE(IsSkinColor(RgbToHsb(200, 150, 120), defaults));
    EXPECT_TRUE(IsSkinColor(RgbToHsb(200, 120, 150), defaults));
    EXPECT_FALSE(IsSkinColor(RgbToHsb(0, 0, 0), defaults));
    EXPECT_FALSE(IsSkinColor(RgbToHsb(180, 180, 180), defaults));
    EXPECT_FALSE(IsSkinColor(RgbToHsb(255, 0, 0), defaults));
    EXPECT_FALSE(IsSkinColor(RgbToHsb(255, 0, 64), defaults));
}

TEST(IsSkinColor, BandsAreInclusiveAndNeverWrap) {
    SkinColorRange range;
    EXPECT_TRUE(IsSkinColor({330, 40, 50}, range));
    EXPECT_TRUE(IsSkinColor({359, 40, 50}, range));
    EXPECT_FALSE(IsSkinColor({0, 40, 50}, range));
    range.H1_min = 50;
    range.H1_max = 40;
    EXPECT_FALSE(IsSkinColor({45, 40, 50}, range));
    EXPECT_FALSE(IsSkinColor({50, 40, 50}, range));
}

// Pixels from a fixed palette of skin and non-skin colours, so every position of the vector blocks
// and of the scalar tail sees both outcomes.
FrameImage MixedFrame(std::int32_t width, std::int32_t height) {
    const Pixel24 palette[] = {{120, 150, 200}, {150, 120, 200}, {0, 0, 0},     {64, 0, 255},
                               {90, 140, 180},  {200, 150, 120}, {71, 71, 100}, {40, 60, 90}};
    std::mt19937 random(7);
    FrameImage frame = MakeFrameImage(width, height);
    for (Pixel24& pixel : frame.pixels) {
        pixel = palette[random() % std::size(palette)];
    }
    return frame;
}

TEST(BuildSkinMask, OddSizesClassifyEveryPixelAtEveryLevel) {
    const SimdLevel levels[] = {SimdLevel::Scalar, SimdLevel::Sse41, SimdLevel::Avx2,
                                SimdLevel::Avx512, SimdLevel::Avx512Vbmi};
    const SkinColorRange defaults;
    // Blocks are 16, 32 or 64 pixels and run across row ends; the last pixels go through a padded
    // block.
    const std::pair<std::int32_t, std::int32_t> sizes[] = {
        {1, 1},  {15, 1}, {16, 1}, {17, 1}, {31, 1}, {32, 1}, {33, 1}, {47, 1},
        {63, 1}, {64, 1}, {65, 1}, {17, 3}, {33, 5}, {65, 3}, {21, 7}};
    for (const auto& [width, height] : sizes) {
        const FrameImage frame = MixedFrame(width, height);
        std::vector<std::uint8_t> expected;
        for (const Pixel24 pixel : frame.pixels) {
            expected.push_back(
                IsSkinColor(RgbToHsb(pixel.red, pixel.green, pixel.blue), defaults) ? 255 : 0);
        }
        for (const SimdLevel level : levels) {
            if (!SimdLevelSupported(level)) {
                continue;
            }
            const SkinMask mask = BuildSkinMask(frame, defaults, level);
            EXPECT_EQ(mask.width, width);
            EXPECT_EQ(mask.height, height);
            EXPECT_EQ(mask.cells, expected) << width << "x" << height << " " << LevelName(level);
            // The luma sums of the analysis, over every start and length within the frame.
            for (std::size_t first = 0; first < frame.pixels.size(); first += 7) {
                std::uint32_t sum = 0;
                for (std::size_t count = 0; first + count <= frame.pixels.size(); ++count) {
                    ASSERT_EQ(SumPixelLuma(frame.pixels.data() + first, count, level), sum)
                        << width << "x" << height << " " << LevelName(level) << " from " << first
                        << ", " << count;
                    if (first + count < frame.pixels.size()) {
                        sum += PixelLuma(frame.pixels[first + count]);
                    }
                }
            }
        }
        EXPECT_EQ(BuildSkinMask(frame, defaults).cells, expected);
    }
}

// The vector luma sums divide in floats; every colour's luma comes out whole and right. A lane's
// result depends only on the colour's weighted sum x = 114 b + 586 g + 298 r, so one colour for
// each x is tried, as a block of 16 pixels of that colour, which fills every lane alike so no
// lane's error can hide another's. (The odd sizes above check which bytes each lane takes.)
TEST(BuildSkinMask, LumaSumsAreExactForEveryColourAtEveryLevel) {
    std::vector<Pixel24> colourOfSum(114 * 255 + 586 * 255 + 298 * 255 + 1);
    std::vector<bool> seen(colourOfSum.size());
    for (std::uint32_t colour = 0; colour < (1u << 24); ++colour) {
        const Pixel24 pixel{static_cast<std::uint8_t>(colour),
                            static_cast<std::uint8_t>(colour >> 8),
                            static_cast<std::uint8_t>(colour >> 16)};
        const std::size_t x = 114u * pixel.blue + 586u * pixel.green + 298u * pixel.red;
        if (!seen[x]) {
            seen[x] = true;
            colourOfSum[x] = pixel;
        }
    }
    for (const SimdLevel level : VECTOR_LEVELS) {
        if (!SimdLevelSupported(level)) {
            continue;
        }
        Pixel24 block[16];
        for (std::size_t x = 0; x < colourOfSum.size(); ++x) {
            if (!seen[x]) {
                continue;
            }
            const Pixel24 pixel = colourOfSum[x];
            std::fill(std::begin(block), std::end(block), pixel);
            if (SumPixelLuma(block, 16, level) != 16u * PixelLuma(pixel)) {
                FAIL() << LevelName(level) << " weighted sum " << x;
            }
        }
    }
}

TEST(BuildSkinMask, EmptyFrameGivesEmptyMaskOfItsSize) {
    const SkinMask none = BuildSkinMask(MakeFrameImage(0, 0), SkinColorRange{});
    EXPECT_TRUE(none.cells.empty());
    const SkinMask flat = BuildSkinMask(MakeFrameImage(7, 0), SkinColorRange{});
    EXPECT_TRUE(flat.cells.empty());
    EXPECT_EQ(flat.width, 7);
    EXPECT_EQ(flat.height, 0);
}

}  // namespace
