#include "camera_feed.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <vector>

#include "still_picture.h"

namespace {

constexpr std::int64_t NOW_MS = 50'000;
constexpr PixelSize PUBLISHED{6, 4};

enum class Block { None, Zeros, Fresh, Stale, Stopped };

std::vector<std::uint8_t> MakeBlock(Block kind, const std::vector<std::uint8_t>& picture) {
    if (kind == Block::None) {
        return {};
    }
    std::vector<std::uint8_t> block(SHARED_FRAMES_BYTES);
    if (kind != Block::Zeros) {
        SharedFramesWriter writer{block};
        StartSharedFrames(writer, 1);
        PublishSharedFrame(writer, {picture.data(), PUBLISHED.width, PUBLISHED.height, 18},
                           kind == Block::Stale ? NOW_MS - STALE_FRAME_MS - 1 : NOW_MS);
        if (kind == Block::Stopped) {
            StopSharedFrames(writer);
        }
    }
    return block;
}

TEST(CameraFeedTest, ASampleHoldsTheFreshPublishedPictureElseTheStillPicture) {
    struct Case {
        const char* name;
        Block block;
        bool published;
    };
    std::vector<std::uint8_t> picture(18 * PUBLISHED.height);
    for (std::size_t i = 0; i < picture.size(); ++i) {
        picture[i] = static_cast<std::uint8_t>(i * 11);
    }
    const SampleFormat format{SampleKind::Yuy2, {8, 6}};  // another size than the picture's
    for (const Case& c :
         {Case{"no section", Block::None, false}, Case{"never published", Block::Zeros, false},
          Case{"fresh", Block::Fresh, true}, Case{"stale", Block::Stale, false},
          Case{"stopped", Block::Stopped, false}}) {
        SCOPED_TRACE(c.name);
        const std::vector<std::uint8_t> block = MakeBlock(c.block, picture);
        const std::vector<std::uint8_t> still = DrawStillPicture(format.size);
        std::vector<std::uint8_t> expected(SampleBytes(format));
        ConvertPicture(c.published ? SurfaceView{picture.data(), 6, 4, 18}
                                   : SurfaceView{still.data(), 8, 6, 24},
                       format, expected);
        CameraFeed feed;
        std::vector<std::uint8_t> sample(SampleBytes(format));
        EXPECT_EQ(FillCameraSample(feed, block, format, sample, NOW_MS), c.published);
        EXPECT_EQ(sample, expected);
        EXPECT_EQ(PublishedSize(block, NOW_MS), c.published ? PUBLISHED : IDLE_CAMERA_SIZE);
    }
}

TEST(CameraFeedTest, TheStillPictureIsTheEmblemOnADarkGround) {
    for (const PixelSize size : {PixelSize{640, 480}, PixelSize{160, 120}}) {
        SCOPED_TRACE(size.width);
        const std::vector<std::uint8_t> still = DrawStillPicture(size);
        ASSERT_EQ(still.size(), 3u * size.width * size.height);
        const auto at = [&](std::int32_t x, std::int32_t y) {
            const std::uint8_t* p = &still[3 * (static_cast<std::size_t>(y) * size.width + x)];
            return p[0] | p[1] << 8 | p[2] << 16;
        };
        const int ground = at(0, 0);
        EXPECT_EQ(at(size.width - 1, size.height - 1), ground);
        EXPECT_LT((ground & 0xFF) + (ground >> 8 & 0xFF) + (ground >> 16), 3 * 48) << "dark";
        std::set<int> badge;
        for (std::int32_t x = size.width / 4; x < size.width * 3 / 4; ++x) {
            badge.insert(at(x, size.height / 2));
        }
        EXPECT_GT(badge.size(), 5u) << "the badge's colours across the middle";
    }
}

}  // namespace
