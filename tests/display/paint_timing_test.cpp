#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "frame_rate_meter.h"
#include "overlay_animation.h"

namespace {

TEST(OverlayAnimationTest, LoopsThroughOneToSixtyEightAfterTheFirstPass) {
    AnimationState animation;
    std::vector<std::int32_t> shown;
    for (std::uint32_t k = 0; k < 140; ++k) {
        shown.push_back(AdvanceOverlayAnimation(animation, 5000 + 20 * k));
    }
    for (std::size_t k = 0; k <= 68; ++k) {
        EXPECT_EQ(shown[k], static_cast<std::int32_t>(k));
    }
    for (std::size_t k = 69; k < shown.size(); ++k) {
        EXPECT_EQ(shown[k], static_cast<std::int32_t>((k - 69) % 68 + 1)) << "paint " << k;
    }
}

TEST(OverlayAnimationTest, AdvancesOnlyAfterMoreThanTenMilliseconds) {
    AnimationState animation;
    EXPECT_EQ(AdvanceOverlayAnimation(animation, 100), 0);
    EXPECT_EQ(AdvanceOverlayAnimation(animation, 105), 0);
    EXPECT_EQ(AdvanceOverlayAnimation(animation, 110), 0);
    EXPECT_EQ(AdvanceOverlayAnimation(animation, 111), 1);
    EXPECT_EQ(AdvanceOverlayAnimation(animation, 121), 1);
}

TEST(OverlayAnimationTest, FrameZeroReturnsOnlyWhenAPaintFollowsFrame68Quickly) {
    AnimationState animation;
    std::uint32_t tick = 0;
    for (std::int32_t k = 0; k <= 68; ++k, tick += 20) {
        AdvanceOverlayAnimation(animation, tick);
    }
    tick -= 20;  // the tick at which frame 68 was shown
    EXPECT_EQ(AdvanceOverlayAnimation(animation, tick + 10), 0);
    EXPECT_EQ(AdvanceOverlayAnimation(animation, tick + 30), 1);
}

TEST(OverlayAnimationTest, KeepsSteppingAcrossTheTickWrapAround) {
    AnimationState animation;
    EXPECT_EQ(AdvanceOverlayAnimation(animation, 0xFFFFFFF0u), 0);
    EXPECT_EQ(AdvanceOverlayAnimation(animation, 0xFFFFFFFCu), 1);
    EXPECT_EQ(AdvanceOverlayAnimation(animation, 0x00000002u), 1);  // 6 ms later
    EXPECT_EQ(AdvanceOverlayAnimation(animation, 0x00000007u), 2);  // 11 ms later
}

// Titles returned by paints every 20 ms from start, keyed by the paint's offset from start.
std::vector<std::pair<std::uint32_t, std::string>> TitlesOfRegularPaints(std::uint32_t start,
                                                                         std::uint32_t until) {
    FrameRateMeter meter;
    std::vector<std::pair<std::uint32_t, std::string>> titles;
    for (std::uint32_t offset = 0; offset <= until; offset += 20) {
        if (const std::optional<std::string> title = CountPaint(meter, start + offset, false)) {
            titles.emplace_back(offset, *title);
        }
    }
    return titles;
}

TEST(FrameRateMeterTest, FirstTitleComesAfterMoreThanASecond) {
    const auto titles = TitlesOfRegularPaints(7000, 2100);
    ASSERT_EQ(titles.size(), 2u);
    EXPECT_EQ(titles[0], std::make_pair(1020u, std::string("Ravkeler / FPS = 51.0")));  // 52 paints
    EXPECT_EQ(titles[1], std::make_pair(2040u, std::string("Ravkeler / FPS = 50.5")));  // 103
}

TEST(FrameRateMeterTest, WindowRestartsOnceOlderThanFiveSeconds) {
    const auto titles = TitlesOfRegularPaints(7000, 5100);
    ASSERT_EQ(titles.size(), 5u);
    EXPECT_EQ(titles[3], std::make_pair(4080u, std::string("Ravkeler / FPS = 50.2")));
    // The window restarted after the paint at 5020, so this counts 4 paints over 80 ms.
    EXPECT_EQ(titles[4], std::make_pair(5100u, std::string("Ravkeler / FPS = 50.0")));
}

TEST(FrameRateMeterTest, MeasuresAcrossTheTickWrapAround) {
    const auto wrapped = TitlesOfRegularPaints(0xFFFFFE00u, 5100);
    ASSERT_EQ(wrapped.size(), 5u);
    EXPECT_EQ(wrapped[0], std::make_pair(1020u, std::string("Ravkeler / FPS = 51.0")));
    EXPECT_EQ(wrapped[4], std::make_pair(5100u, std::string("Ravkeler / FPS = 50.0")));
}

TEST(FrameRateMeterTest, TitleFollowsTheRecordingFlagAtEachRefresh) {
    FrameRateMeter meter;
    CountPaint(meter, 0, false);
    EXPECT_EQ(CountPaint(meter, 500, true), std::nullopt);
    EXPECT_EQ(CountPaint(meter, 1001, true), "[CAPTURING] Ravkeler / FPS = 3.0");
    EXPECT_EQ(CountPaint(meter, 2002, false), "Ravkeler / FPS = 2.0");
}

}  // namespace
