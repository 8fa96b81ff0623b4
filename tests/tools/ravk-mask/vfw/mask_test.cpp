// ravk-mask.exe on an uncompressed AVI made here from a test photo through Video for Windows, and
// its output read back the same way.
#include <gtest/gtest.h>
#include <windows.h>
// after windows.h, whose types it uses
#include <vfw.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/face_photos.h"
#include "support/test_files.h"
#include "support/tool_runner.h"
#include "wide_text.h"

namespace {

constexpr int WIDTH = 320;
constexpr int HEIGHT = 240;
constexpr int FRAMES = 6;
constexpr int PHOTO_WIDTH = 120;  // the photo, 540 x 720, scaled down
constexpr int PHOTO_HEIGHT = 160;
constexpr int PHOTO_TOP = 20;  // from the top of the picture

int PhotoLeft(int n) {
    return 20 + 10 * n;
}

// A patterned background with the photo at PhotoLeft(n), PHOTO_TOP (rows bottom-up).
FrameImage Scene(const FrameImage& photo, int n) {
    FrameImage frame = MakeFrameImage(WIDTH, HEIGHT);
    for (int y = 0; y < HEIGHT; ++y) {
        for (int x = 0; x < WIDTH; ++x) {
            const auto shade = static_cast<std::uint8_t>((x * 7 + y * 3) % 200);
            frame.pixels[static_cast<std::size_t>(y) * WIDTH + x] = {shade, 80, 40};
        }
    }
    for (int r = 0; r < PHOTO_HEIGHT; ++r) {
        const int fromRow = photo.height - 1 - r * photo.height / PHOTO_HEIGHT;
        const int toRow = HEIGHT - 1 - (PHOTO_TOP + r);
        for (int c = 0; c < PHOTO_WIDTH; ++c) {
            frame.pixels[static_cast<std::size_t>(toRow) * WIDTH + PhotoLeft(n) + c] =
                photo.pixels[static_cast<std::size_t>(fromRow) * photo.width +
                             c * photo.width / PHOTO_WIDTH];
        }
    }
    return frame;
}

void WriteAvi(const std::string& path, const std::vector<FrameImage>& frames) {
    PAVIFILE file = nullptr;
    ASSERT_EQ(AVIFileOpenW(&file, Widen(path).c_str(), OF_WRITE | OF_CREATE, nullptr), AVIERR_OK);
    AVISTREAMINFOW info{};
    info.fccType = streamtypeVIDEO;
    info.fccHandler = mmioFOURCC('D', 'I', 'B', ' ');
    info.dwScale = 1;
    info.dwRate = 10;
    info.rcFrame = {0, 0, WIDTH, HEIGHT};
    PAVISTREAM stream = nullptr;
    ASSERT_EQ(AVIFileCreateStreamW(file, &stream, &info), AVIERR_OK);
    BITMAPINFOHEADER format{};
    format.biSize = sizeof format;
    format.biWidth = WIDTH;
    format.biHeight = HEIGHT;
    format.biPlanes = 1;
    format.biBitCount = 24;
    format.biSizeImage = WIDTH * HEIGHT * 3;
    ASSERT_EQ(AVIStreamSetFormat(stream, 0, &format, sizeof format), AVIERR_OK);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        ASSERT_EQ(AVIStreamWrite(stream, static_cast<LONG>(i), 1,
                                 const_cast<std::uint8_t*>(FrameBytes(frames[i])),
                                 WIDTH * HEIGHT * 3, AVIIF_KEYFRAME, nullptr, nullptr),
                  AVIERR_OK);
    }
    AVIStreamRelease(stream);
    AVIFileRelease(file);
}

std::vector<FrameImage> ReadAvi(const std::string& path) {
    std::vector<FrameImage> frames;
    PAVIFILE file = nullptr;
    if (AVIFileOpenW(&file, Widen(path).c_str(), OF_READ, nullptr) != AVIERR_OK) {
        ADD_FAILURE() << "cannot open " << path;
        return frames;
    }
    PAVISTREAM stream = nullptr;
    if (AVIFileGetStream(file, &stream, streamtypeVIDEO, 0) == AVIERR_OK) {
        for (LONG i = AVIStreamStart(stream); i < AVIStreamEnd(stream); ++i) {
            FrameImage frame = MakeFrameImage(WIDTH, HEIGHT);
            LONG bytes = 0;
            EXPECT_EQ(
                AVIStreamRead(stream, i, 1, FrameBytes(frame), WIDTH * HEIGHT * 3, &bytes, nullptr),
                AVIERR_OK);
            frames.push_back(frame);
        }
        AVIStreamRelease(stream);
    }
    AVIFileRelease(file);
    return frames;
}

// The mean difference per colour byte over columns left.. and rows top.. (from the top).
double MeanDifference(const FrameImage& a, const FrameImage& b, int left, int top, int width,
                      int height) {
    double sum = 0;
    for (int r = top; r < top + height; ++r) {
        for (int x = left; x < left + width; ++x) {
            const std::size_t at = static_cast<std::size_t>(HEIGHT - 1 - r) * WIDTH + x;
            sum += std::abs(a.pixels[at].blue - b.pixels[at].blue) +
                   std::abs(a.pixels[at].green - b.pixels[at].green) +
                   std::abs(a.pixels[at].red - b.pixels[at].red);
        }
    }
    return sum / (3.0 * width * height);
}

TEST(RavkMaskVfwTest, MasksAnUncompressedAviAndRefusesOtherContainers) {
    std::string error;
    const FrameImage photo = LoadFacePhoto("audrey.jpg", error);
    ASSERT_GT(photo.width, 0) << error;
    TempDir dir;
    std::vector<FrameImage> frames;
    for (int n = 0; n < FRAMES; ++n) {
        frames.push_back(Scene(photo, n));
    }
    AVIFileInit();
    WriteAvi(dir.File("in.avi"), frames);

    const std::string models = ShellQuoted(std::string(RAVK_BIN_DIR) + "/models");
    const ToolRun run =
        RunTool("ravk-mask", "--models " + models + " in.avi out.avi", dir.Path().string());
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<FrameImage> masked = ReadAvi(dir.File("out.avi"));
    ASSERT_EQ(masked.size(), frames.size());
    for (int n = 0; n < FRAMES; ++n) {
        const auto& a = frames[static_cast<std::size_t>(n)];
        const auto& b = masked[static_cast<std::size_t>(n)];
        EXPECT_GT(MeanDifference(a, b, PhotoLeft(n) + 40, PHOTO_TOP + 45, 40, 50), 8.0)
            << "face not covered in frame " << n;
        EXPECT_EQ(MeanDifference(a, b, 260, 0, 60, HEIGHT), 0.0) << "frame " << n;
    }

    const ToolRun other =
        RunTool("ravk-mask", "--models " + models + " in.avi out.mp4", dir.Path().string());
    EXPECT_EQ(other.status, 2);
    EXPECT_NE(other.err.find("cannot write .mp4 files (this build writes .avi)"), std::string::npos)
        << other.err;
    AVIFileExit();
}

}  // namespace
