#include "testcard_scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "bmp_file.h"
#include "skin_color.h"
#include "support/test_files.h"
#include "support/tool_runner.h"

namespace {

FrameImage Painted(std::int32_t width, std::int32_t height, std::int64_t ms) {
    FrameImage frame = MakeFrameImage(width, height);
    PaintTestcardScene(FrameBytes(frame), MakeTestcardBackdrop(width, height), ms);
    return frame;
}

// Top-down pixel centres, as the layout gives positions.
bool InFace(const SceneEllipse& e, double x, double y) {
    return std::pow((x - e.centerX) / e.radiusX, 2) + std::pow((y - e.centerY) / e.radiusY, 2) <=
           1.0001;
}

bool InBox(const SceneBox& b, double x, double y) {
    return x >= b.left && x <= b.right && y >= b.top && y <= b.bottom;
}

struct Size {
    std::int32_t width, height;
};

// At 7425 ms the hand rests fully raised; at 1000 ms it is out of sight.
constexpr std::int64_t HAND_RAISED_MS = 7425;
constexpr std::int64_t HAND_HIDDEN_MS = 1000;

TEST(TestcardSceneTest, OneMomentAlwaysGivesOnePicture) {
    EXPECT_EQ(Painted(640, 480, 5000).pixels, Painted(640, 480, 5000).pixels);
    EXPECT_NE(Painted(640, 480, 5000).pixels, Painted(640, 480, 5500).pixels);
}

TEST(TestcardSceneTest, SkinColoursAreOnlyOnTheFaceAndTheHand) {
    for (const Size size : {Size{320, 240}, Size{640, 480}, Size{720, 480}, Size{1920, 1080},
                            Size{100, 400}, Size{16, 16}}) {
        for (const std::int64_t ms : {HAND_HIDDEN_MS, HAND_RAISED_MS, std::int64_t{13000},
                                      std::int64_t{20500}, std::int64_t{43000}}) {
            SCOPED_TRACE(std::to_string(size.width) + " x " + std::to_string(size.height) + " at " +
                         std::to_string(ms) + " ms");
            const TestcardLayout layout = TestcardSceneLayout(size.width, size.height, ms);
            const SkinMask mask = BuildSkinMask(Painted(size.width, size.height, ms), {});
            std::int64_t faceArea = 0, faceSkin = 0, handSkin = 0, strays = 0;
            for (std::int32_t y = 0; y < size.height; ++y) {
                for (std::int32_t x = 0; x < size.width; ++x) {
                    const bool skin =
                        mask.cells[static_cast<std::size_t>(size.height - 1 - y) * size.width + x];
                    const bool face = InFace(layout.face, x + 0.5, y + 0.5);
                    const bool hand = layout.handVisible && InBox(layout.handBox, x + 0.5, y + 0.5);
                    faceArea += face;
                    faceSkin += face && skin;
                    handSkin += hand && skin;
                    strays += skin && !face && !hand;
                }
            }
            EXPECT_EQ(strays, 0);
            if (size.width >= 100) {
                EXPECT_GT(faceSkin, faceArea * 8 / 10) << "eyes, brows and mouth are small";
                EXPECT_EQ(handSkin > 0, layout.handVisible);
            }
        }
    }
}

TEST(TestcardSceneTest, FaceDriftsInsideThePictureAndTheHandComesAndGoesBelowIt) {
    const Size size{640, 480};
    double leftmost = size.width, rightmost = 0;
    int handShown = 0, samples = 0;
    for (std::int64_t ms = 0; ms < 48000; ms += 250, ++samples) {
        const TestcardLayout layout = TestcardSceneLayout(size.width, size.height, ms);
        const SceneEllipse& f = layout.face;
        leftmost = std::min(leftmost, f.centerX);
        rightmost = std::max(rightmost, f.centerX);
        EXPECT_GE(f.centerX - f.radiusX, 0) << ms;
        EXPECT_LE(f.centerX + f.radiusX, size.width) << ms;
        EXPECT_GE(f.centerY - f.radiusY, 0) << ms;
        if (layout.handVisible) {
            ++handShown;
            EXPECT_GT(layout.handBox.top, f.centerY + f.radiusY + 10) << ms;
        }
    }
    EXPECT_GT(rightmost - leftmost, size.width / 2.0);
    EXPECT_GT(handShown, samples / 5);
    EXPECT_LT(handShown, samples * 3 / 5);
}

std::string RavkInspect(const std::string& bmp, const std::string& folder) {
    const ToolRun run = RunTool("ravk-inspect", ShellQuoted(bmp), folder);
    EXPECT_EQ(run.status, 0) << run.err;
    return run.out;
}

// The integer after "key": at or after from, or -1 when the key is absent or not a number.
long IntAfter(const std::string& json, const std::string& key, std::size_t from = 0) {
    const std::size_t at = json.find("\"" + key + "\":", from);
    long value = -1;
    if (at == std::string::npos ||
        std::sscanf(json.c_str() + at + key.size() + 3, "%ld", &value) != 1) {
        return -1;
    }
    return value;
}

TEST(TestcardSceneTest, RavkInspectChoosesTheFaceAndBoxesIt) {
    const TempDir dir;
    for (const Size size : {Size{320, 240}, Size{640, 480}, Size{720, 480}}) {
        for (const std::int64_t ms :
             {std::int64_t{0}, HAND_RAISED_MS, std::int64_t{16000}, std::int64_t{31500}}) {
            SCOPED_TRACE(std::to_string(size.width) + " x " + std::to_string(size.height) + " at " +
                         std::to_string(ms) + " ms");
            const std::string bmp = dir.File("frame.bmp");
            ASSERT_TRUE(WriteBmpFile(bmp, Painted(size.width, size.height, ms)));
            const std::string json = RavkInspect(bmp, dir.Path().string());
            const SceneEllipse face = TestcardSceneLayout(size.width, size.height, ms).face;

            // The chosen region spans the face oval (rows are stored bottom-up).
            const long best = IntAfter(json, "best");
            ASSERT_GE(best, 0) << json;
            std::size_t region = json.find("\"regions\":");
            for (long i = 0; i <= best; ++i) {
                region = json.find("{\"area\":", region + 1);
            }
            ASSERT_NE(region, std::string::npos) << json;
            EXPECT_NEAR(IntAfter(json, "minX", region), face.centerX - face.radiusX, 1.5);
            EXPECT_NEAR(IntAfter(json, "maxX", region), face.centerX + face.radiusX, 1.5);
            EXPECT_NEAR(size.height - IntAfter(json, "maxY", region), face.centerY - face.radiusY,
                        1.5);
            EXPECT_NEAR(size.height - IntAfter(json, "minY", region), face.centerY + face.radiusY,
                        1.5);

            // One box, a square as wide as the face around its middle.
            long box[4];
            const std::size_t boxes = json.find("\"boxes\":[[");
            ASSERT_NE(boxes, std::string::npos) << json;
            ASSERT_EQ(std::sscanf(json.c_str() + boxes + 10, "%ld,%ld,%ld,%ld]]}", &box[0], &box[1],
                                  &box[2], &box[3]),
                      4)
                << json;
            EXPECT_NEAR((box[0] + box[2]) / 2.0, face.centerX, 2);
            EXPECT_NEAR((box[1] + box[3]) / 2.0, face.centerY, 0.1 * face.radiusY);
            EXPECT_NEAR(box[2] - box[0], 2 * face.radiusX, 3);
        }
    }
}

}  // namespace
