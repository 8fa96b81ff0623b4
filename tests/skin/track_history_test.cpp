#include "track_history.h"

#include <gtest/gtest.h>

namespace {

RegionBox Smooth(TrackHistory& history, RegionBox raw) {
    std::vector<RegionBox> boxes{raw, {1, 2, 3, 4}};
    SmoothTrackedBox(boxes, history);
    EXPECT_EQ(boxes[1], (RegionBox{1, 2, 3, 4}));  // only the first box is smoothed
    return boxes[0];
}

TEST(SmoothTrackedBox, AveragesTheRawFirstBoxesOfUpToFiveFrames) {
    TrackHistory history;
    EXPECT_EQ(Smooth(history, {0, 0, 10, 10}), (RegionBox{0, 0, 10, 10}));
    EXPECT_EQ(Smooth(history, {10, 10, 20, 20}), (RegionBox{5, 5, 15, 15}));

    // Six raw boxes b1..b6 with left = 10, 20, ..., 60: the sixth result averages b2..b6.
    TrackHistory six;
    RegionBox result;
    for (int i = 1; i <= 6; ++i) {
        result = Smooth(six, {10 * i, 0, 0, 0});
    }
    EXPECT_EQ(result.left, (20 + 30 + 40 + 50 + 60) / 5);
    EXPECT_EQ(six.boxes.size(), 4u);
}

TEST(SmoothTrackedBox, TruncatesTowardZeroAndNeverFeedsBackSmoothedBoxes) {
    TrackHistory history;
    Smooth(history, {-3, -3, -3, -3});
    EXPECT_EQ(Smooth(history, {0, 0, 0, 0}), (RegionBox{-1, -1, -1, -1}));
    EXPECT_EQ(history.boxes.front(), (RegionBox{-3, -3, -3, -3}));
}

TEST(SmoothTrackedBox, LeavesAnEmptyListAndTheHistoryAlone) {
    TrackHistory history;
    Smooth(history, {100, 100, 100, 100});
    std::vector<RegionBox> none;
    SmoothTrackedBox(none, history);
    EXPECT_TRUE(none.empty());
    // A pause (no box, tracking off) does not clear what came before.
    EXPECT_EQ(Smooth(history, {0, 0, 0, 0}), (RegionBox{50, 50, 50, 50}));
}

}  // namespace
