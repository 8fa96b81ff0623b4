#include "sample_formats.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

// Top-down rows of 24-bit pixels (blue, green, red): red, green over blue, white, with a stride
// longer than the row.
constexpr std::uint8_t PICTURE[] = {0,   0, 255, 0,   255, 0,   99, 99,  //
                                    255, 0, 0,   255, 255, 255, 99, 99};
constexpr SurfaceView VIEW{PICTURE, 2, 2, 8};

TEST(SampleFormatsTest, APictureBecomesASampleOfEachFormatAndSize) {
    struct Case {
        const char* name;
        SampleFormat format;
        std::vector<std::uint8_t> sample;
    };
    const Case cases[] = {
        // Rows bottom-up, each padded to four bytes with zeros.
        {"RGB24",
         {SampleKind::Rgb24, {2, 2}},
         {255, 0, 0, 255, 255, 255, 0, 0, /**/ 0, 0, 255, 0, 255, 0, 0, 0}},
        // Y of each pixel, U and V of the pair's mean colour; rows top-down.
        {"YUY2", {SampleKind::Yuy2, {2, 2}}, {82, 72, 144, 137, /**/ 41, 184, 235, 119}},
        {"RGB24 smaller", {SampleKind::Rgb24, {1, 1}}, {0, 0, 255, 0}},
        {"YUY2 wider", {SampleKind::Yuy2, {4, 1}}, {82, 90, 82, 240, 144, 54, 144, 34}},
        {"RGB24 taller",
         {SampleKind::Rgb24, {1, 4}},
         {255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 255, 0, 0, 0, 255, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(SampleBytes(c.format), c.sample.size());
        std::vector<std::uint8_t> sample(c.sample.size(), 0xEE);
        ConvertPicture(VIEW, c.format, sample);
        EXPECT_EQ(sample, c.sample);
    }
}

TEST(SampleFormatsTest, YuvIsOfferedAfterRgbForEvenWidthsOnly) {
    EXPECT_EQ(OfferedFormats({640, 480}),
              (std::vector<SampleFormat>{{SampleKind::Rgb24, {640, 480}},
                                         {SampleKind::Yuy2, {640, 480}}}));
    EXPECT_EQ(OfferedFormats({321, 240}),
              (std::vector<SampleFormat>{{SampleKind::Rgb24, {321, 240}}}));
}

}  // namespace
