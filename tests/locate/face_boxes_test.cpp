#include "face_boxes.h"

#include "face_finder_kind.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

FaceDetection Face(float score, float left, float top, float side) {
    return FaceDetection{score, left, top, side, side};
}

TEST(FaceBoxesTest, SquareOnTheDetectionsCentreOfItsLargerSideScaled) {
    const FaceDetection wide{0.9f, 100, 50, 40, 20};  // centre (120, 60), larger side 40
    EXPECT_EQ(FaceBox(wide, false), (RegionBox{94, 34, 146, 86}));  // side 52
    EXPECT_EQ(FaceBox(wide, true), (RegionBox{88, 28, 152, 92}));   // side 64
    EXPECT_EQ(FaceBox(Face(0.9f, -10, -10, 10), false), (RegionBox{-11, -11, 1, 1}));
}

// One face is followed: the best at first, then the nearest to the last cover, even when another
// scores higher; after a paint without faces the best again. "&All" covers every face.
TEST(FaceBoxesTest, OneFaceIsFollowedUnlessAllIsOn) {
    const FaceDetection left = Face(0.8f, 10, 10, 20), right = Face(0.95f, 100, 10, 20);
    const FrameImage frame = MakeFrameImage(160, 60);
    FrameImage display = frame;
    FaceTrack track;
    AnalysisOptions options;
    const struct {
        std::vector<FaceDetection> faces;
        bool all;
        std::vector<RegionBox> expected;
    } paints[] = {
        {{left}, false, {FaceBox(left, false)}},
        {{right, left}, false, {FaceBox(left, false)}},
        {{}, false, {}},
        {{right, left}, false, {FaceBox(right, false)}},
        {{right, left}, true, {FaceBox(right, false), FaceBox(left, false)}},
    };
    for (const auto& paint : paints) {
        options.allRegions = paint.all;
        std::vector<RegionBox> boxes;
        BoxFaces(boxes, display, frame, paint.faces, SkinColorRange{}, options, track);
        EXPECT_EQ(boxes, paint.expected);
    }
}

TEST(FaceBoxesTest, MaskPaintsOnlySkinColouredPixelsInsideTheBoxes) {
    FrameImage frame = MakeFrameImage(40, 20);
    const Pixel24 skin{120, 150, 200}, wall{170, 130, 100};
    for (std::int32_t x = 0; x < 40; ++x) {
        for (std::int32_t y = 0; y < 20; ++y) {
            frame.pixels[static_cast<std::size_t>(y * 40 + x)] = x % 2 == 0 ? skin : wall;
        }
    }
    FrameImage display = frame;
    FaceTrack track;
    AnalysisOptions options;
    options.maskEnabled = true;
    std::vector<RegionBox> boxes;
    // Side 10 scaled: box (4, 4, 17, 17) counted from the top.
    BoxFaces(boxes, display, frame, {Face(0.9f, 5.5f, 5.5f, 10)}, SkinColorRange{}, options, track);
    for (std::int32_t x = 0; x < 40; ++x) {
        for (std::int32_t r = 0; r < 20; ++r) {
            const bool inside = x >= 4 && x < 17 && r >= 4 && r < 17;
            const Pixel24 expected =
                inside && x % 2 == 0 ? Pixel24{255, 0, 0}
                                     : frame.pixels[static_cast<std::size_t>((19 - r) * 40 + x)];
            ASSERT_EQ(display.pixels[static_cast<std::size_t>((19 - r) * 40 + x)], expected)
                << x << ", " << r;
        }
    }
}

TEST(FaceBoxesTest, FinderNamesIgnoreCase) {
    EXPECT_EQ(FaceFinderFromName("cnn-FAST"), FaceFinderKind::CnnFast);
    EXPECT_EQ(FaceFinderFromName("Skin"), FaceFinderKind::Skin);
    EXPECT_EQ(FaceFinderFromName("cnn "), std::nullopt);
}

}  // namespace
