#include "snapshot.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "bmp_file.h"
#include "support/test_files.h"

namespace {

// A top-down surface whose pixel (x, r) has bytes (x, r, 7) and whose row ends hold 0xEE filler.
std::vector<std::uint8_t> SurfaceBytes(std::int32_t width, std::int32_t height,
                                       std::int32_t stride) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(stride * height), 0xEE);
    for (std::int32_t r = 0; r < height; ++r) {
        for (std::int32_t x = 0; x < width; ++x) {
            std::uint8_t* p = &bytes[static_cast<std::size_t>(r * stride + 3 * x)];
            p[0] = static_cast<std::uint8_t>(x);
            p[1] = static_cast<std::uint8_t>(r);
            p[2] = 7;
        }
    }
    return bytes;
}

FrameImage ReadBack(const char* file) {
    FrameImage image;
    std::string error;
    EXPECT_TRUE(ReadBmpFile(file, image, error)) << error;
    return image;
}

class SnapshotTest : public ::testing::Test {
  protected:
    TempDir dir;
    CurrentDirScope inDir{dir.Path()};
};

TEST_F(SnapshotTest, WritesTheLiveFrameAndTheUprightSurface) {
    FrameImage live = MakeFrameImage(3, 2);
    live.pixels[0] = {1, 2, 3};
    const std::vector<std::uint8_t> bytes = SurfaceBytes(5, 3, 16);
    SaveSnapshotPair(live, SurfaceView{bytes.data(), 5, 3, 16});

    EXPECT_EQ(ReadBack(SNAPSHOT_ORIGINAL_FILE).pixels, live.pixels);
    const FrameImage shown = ReadBack(SNAPSHOT_DISPLAY_FILE);
    ASSERT_EQ(shown.width, 5);
    ASSERT_EQ(shown.height, 3);
    for (std::int32_t r = 0; r < 3; ++r) {
        for (std::int32_t x = 0; x < 5; ++x) {
            const Pixel24 expected{static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(r), 7};
            EXPECT_EQ(shown.pixels[static_cast<std::size_t>((2 - r) * 5 + x)], expected)
                << "surface pixel " << x << ", " << r;
        }
    }
}

TEST_F(SnapshotTest, TopSurfaceRowIsTheLastPixelRowOfTheFile) {
    const std::vector<std::uint8_t> bytes = SurfaceBytes(2, 2, 6);
    SaveSnapshotPair(FrameImage{}, SurfaceView{bytes.data(), 2, 2, 6});
    const std::vector<std::uint8_t> file = ReadFileBytes(SNAPSHOT_DISPLAY_FILE);
    ASSERT_EQ(file.size(), 54u + 2 * 8);
    EXPECT_EQ(std::vector<std::uint8_t>(file.begin() + 62, file.begin() + 68),
              (std::vector<std::uint8_t>{0, 0, 7, 1, 0, 7}));
}

TEST_F(SnapshotTest, EmptyFrameAndUnusableViewsGiveHeaderOnlyFiles) {
    const std::vector<std::uint8_t> bytes = SurfaceBytes(4, 2, 12);
    for (const SurfaceView& view :
         {SurfaceView{}, SurfaceView{nullptr, 4, 2, 12}, SurfaceView{bytes.data(), 4, 2, 11},
          SurfaceView{bytes.data(), -4, 2, 12}, SurfaceView{bytes.data(), 4, -2, 12}}) {
        SaveSnapshotPair(FrameImage{}, view);
        EXPECT_EQ(ReadFileBytes(SNAPSHOT_ORIGINAL_FILE).size(), 54u);
        EXPECT_EQ(ReadFileBytes(SNAPSHOT_DISPLAY_FILE).size(), 54u);
    }
}

TEST_F(SnapshotTest, AFailedFileKeepsTheEarlierPairWhole) {
    const std::vector<std::uint8_t> bytes = SurfaceBytes(2, 2, 8);
    const SurfaceView surface{bytes.data(), 2, 2, 8};
    ASSERT_TRUE(SaveSnapshotPair(MakeFrameImage(1, 1), surface));
    const std::vector<std::uint8_t> earlier = ReadFileBytes(SNAPSHOT_ORIGINAL_FILE);
    std::filesystem::permissions(SNAPSHOT_DISPLAY_FILE, std::filesystem::perms::owner_read);
    EXPECT_FALSE(SaveSnapshotPair(MakeFrameImage(3, 3), surface));
    EXPECT_EQ(ReadFileBytes(SNAPSHOT_ORIGINAL_FILE), earlier);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."),
                            std::filesystem::directory_iterator()),
              2);  // no pending file left
}

}  // namespace
