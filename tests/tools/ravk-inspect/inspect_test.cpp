// Runs the built ravk-inspect program through the system's shell.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "bmp_file.h"
#include "support/test_files.h"
#include "support/tool_runner.h"

namespace {

const Pixel24 SKIN{120, 150, 200};    // red 200, green 150, blue 120
const Pixel24 BACKGROUND{0, 128, 0};  // dark green, never skin
const Pixel24 MASK_BLUE{0xFF, 0, 0};

struct Rect {
    std::int32_t left, top, width, height;  // top counted from the top of the picture
};

FrameImage FrameWithSkin(std::int32_t width, std::int32_t height,
                         std::initializer_list<Rect> skin) {
    FrameImage frame = MakeFrameImage(width, height);
    std::fill(frame.pixels.begin(), frame.pixels.end(), BACKGROUND);
    for (const Rect& rect : skin) {
        for (std::int32_t r = rect.top; r < rect.top + rect.height; ++r) {
            for (std::int32_t x = rect.left; x < rect.left + rect.width; ++x) {
                frame.pixels[static_cast<std::size_t>((height - 1 - r) * width + x)] = SKIN;
            }
        }
    }
    return frame;
}

const Rect SQUARE{10, 5, 20, 20};

class RavkInspectTest : public ::testing::Test {
  protected:
    // Runs the tool in the scratch folder with the given (already quoted) arguments.
    ToolRun Run(const std::string& args) {
        return RunTool("ravk-inspect", args, dir.Path().string());
    }

    std::string WriteFrame(const std::string& name, const FrameImage& frame) {
        const std::string path = dir.File(name);
        EXPECT_TRUE(WriteBmpFile(path, frame));
        return path;
    }

    void ExpectFailure(const std::string& args, const std::string& reason) {
        const ToolRun run = Run(args);
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_TRUE(run.out.empty()) << args << ": " << run.out;
        EXPECT_EQ(run.err.rfind("ravk-inspect: ", 0), 0u) << args << ": " << run.err;
        EXPECT_NE(run.err.find(reason), std::string::npos) << args << ": " << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << args << ": " << run.err;
    }

    TempDir dir;
};

TEST_F(RavkInspectTest, OneSkinSquareIsFoundAndBoxed) {
    const std::string input = WriteFrame("square.bmp", FrameWithSkin(64, 48, {SQUARE}));
    const ToolRun run = Run(ShellQuoted(input));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "{\"width\":64,\"height\":48,\"found\":true,\"regions\":[{\"area\":400,\"width\":19,"
              "\"height\":19,\"centerX\":19,\"centerY\":32,\"minX\":10,\"minY\":23,\"maxX\":29,"
              "\"maxY\":42,\"meanX\":19.5,\"meanY\":32.5}],\"best\":0,\"faces\":[],\"boxes\":[[10,"
              "5,29,24]]}\n");
    EXPECT_EQ(run.err, "");
}

TEST_F(RavkInspectTest, FrameWithoutSkinReportsNothingFound) {
    const std::string input = WriteFrame("plain.bmp", FrameWithSkin(32, 24, {}));
    const ToolRun run = Run(ShellQuoted(input));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "{\"width\":32,\"height\":24,\"found\":false,\"regions\":[],\"best\":null,"
              "\"faces\":[],\"boxes\":[]}\n");
    EXPECT_EQ(run.err, " region not found.\n");
}

TEST_F(RavkInspectTest, MaskPaintsTheRegionBlueInTheOutputPicture) {
    const FrameImage frame = FrameWithSkin(64, 48, {SQUARE});
    const std::string input = WriteFrame("square.bmp", frame);
    const ToolRun run = Run("--mask " + ShellQuoted(input) + " shown.bmp");
    ASSERT_EQ(run.status, 0) << run.err;
    FrameImage shown;
    std::string error;
    ASSERT_TRUE(ReadBmpFile(dir.File("shown.bmp"), shown, error)) << error;
    ASSERT_EQ(shown.pixels.size(), frame.pixels.size());
    for (std::size_t i = 0; i < frame.pixels.size(); ++i) {
        const Pixel24 expected = frame.pixels[i] == SKIN ? MASK_BLUE : frame.pixels[i];
        ASSERT_EQ(shown.pixels[i], expected) << "pixel " << i;
    }
}

TEST_F(RavkInspectTest, WithoutMaskTheOutputPictureIsTheInput) {
    const FrameImage frame = FrameWithSkin(64, 48, {SQUARE});
    const ToolRun run = Run(ShellQuoted(WriteFrame("square.bmp", frame)) + " copy.bmp");
    ASSERT_EQ(run.status, 0) << run.err;
    FrameImage copy;
    std::string error;
    ASSERT_TRUE(ReadBmpFile(dir.File("copy.bmp"), copy, error)) << error;
    EXPECT_EQ(copy.pixels, frame.pixels);
}

TEST_F(RavkInspectTest, ExpandUsesTheLargerSideOfTheRegion) {
    const std::string input = WriteFrame("wide.bmp", FrameWithSkin(64, 48, {{10, 5, 24, 20}}));
    const ToolRun plain = Run(ShellQuoted(input));
    EXPECT_NE(plain.out.find("\"boxes\":[[12,5,31,24]]"), std::string::npos) << plain.out;
    const ToolRun expanded = Run("--expand " + ShellQuoted(input));
    EXPECT_NE(expanded.out.find("\"boxes\":[[10,3,33,26]]"), std::string::npos) << expanded.out;
}

TEST_F(RavkInspectTest, AllKeepsARegionThatFailsTheAspectTest) {
    // The bar (40 x 6) lies in lower stored rows than the square, so it is region 0.
    const std::string input =
        WriteFrame("two.bmp", FrameWithSkin(64, 48, {SQUARE, Rect{5, 35, 40, 6}}));
    const ToolRun chosen = Run(ShellQuoted(input));
    EXPECT_NE(chosen.out.find("\"best\":1,\"faces\":[],\"boxes\":[[10,5,29,24]]}"),
              std::string::npos)
        << chosen.out;
    const ToolRun all = Run("--all " + ShellQuoted(input));
    EXPECT_NE(all.out.find("\"best\":1,\"faces\":[],\"boxes\":[[22,35,27,40],[10,5,29,24]]}"),
              std::string::npos)
        << all.out;
}

TEST_F(RavkInspectTest, ThresholdsComeFromTheSettingsFile) {
    const std::string input = WriteFrame("square.bmp", FrameWithSkin(64, 48, {SQUARE}));
    // Saturation of the square is 40%, so a 10% ceiling leaves no skin.
    std::ofstream(dir.File("strict.ini")) << "[ravk]\nS_max=10\n";
    EXPECT_NE(Run("--ini strict.ini " + ShellQuoted(input)).out.find("\"found\":false"),
              std::string::npos);

    EXPECT_NE(Run(ShellQuoted(input)).out.find("\"found\":true"), std::string::npos);
    std::ofstream(dir.File("ravk.ini")) << "[ravk]\nS_max=10\n";
    EXPECT_NE(Run(ShellQuoted(input)).out.find("\"found\":false"), std::string::npos)
        << "ravk.ini in the current folder is read by default";
}

TEST_F(RavkInspectTest, HelpPrintsUsageAndSucceeds) {
    const ToolRun run = Run("--help");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("usage: ravk-inspect", 0), 0u) << run.out;
    EXPECT_EQ(run.err, "");
}

TEST_F(RavkInspectTest, ErrorsGiveOneLineAndExitStatus2) {
    ExpectFailure("", "no input file given");
    ExpectFailure("--frobnicate in.bmp", "unknown option --frobnicate");
    ExpectFailure("absent.bmp", "cannot open absent.bmp");
    ExpectFailure(ShellQuoted(RAVK_TEST_DATA_DIR "/bmp/bitfields_24bit.bmp"),
                  "unsupported BMP: compression method 3");
    ExpectFailure(ShellQuoted(RAVK_TEST_DATA_DIR "/bmp/truncated_pixels.bmp"),
                  "truncated BMP file");
    ExpectFailure(ShellQuoted(RAVK_TEST_DATA_DIR "/bmp/huge_dimensions.bmp"), "too large");
    ExpectFailure(ShellQuoted(RAVK_TEST_DATA_DIR "/bmp/not_bmp.bmp"), "not a BMP file");

    const std::string input = WriteFrame("square.bmp", FrameWithSkin(16, 16, {{4, 4, 4, 4}}));
    ExpectFailure("--ini absent.ini " + ShellQuoted(input), "cannot read settings file absent.ini");
    ExpectFailure(ShellQuoted(input) + " no-folder/out.bmp", "cannot write no-folder/out.bmp");
    ExpectFailure("--box " + ShellQuoted(input) + " out.bmp", "--box needs --compose");
    ExpectFailure("--compose " + ShellQuoted(input), "--compose needs OUTPUT.bmp");
    ExpectFailure("--compose --cover mosaic " + ShellQuoted(input) + " out.bmp",
                  "unknown cover style mosaic (overlay, pixelate or blur)");
    // The overlay pictures are looked for only when the overlay is drawn.
    ExpectFailure("--compose --overlay --images absent " + ShellQuoted(input) + " out.bmp",
                  "画像ファイル absent\\warai0000.bmp が読み込めませんでした．");
    EXPECT_EQ(Run("--compose --cover blur " + ShellQuoted(input) + " out.bmp").status, 0);
    ExpectFailure("--finder dnn " + ShellQuoted(input),
                  "unknown finder dnn (skin, cnn or cnn-fast)");
    ExpectFailure("--finder cnn-fast --models absent " + ShellQuoted(input),
                  "face_detection_front_128x128_barracuda.onnx");

#ifndef _WIN32
    // A FIFO without a writer would block an ordinary open: it is refused at once.
    ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0644), 0);
    ExpectFailure("fifo", "cannot open fifo: not a regular file");
    ExpectFailure("--ini fifo " + ShellQuoted(input), "cannot read settings file fifo");
#endif
}

TEST_F(RavkInspectTest, PaletteThirtyTwoBitAndCoreHeaderPicturesAreAnalysed) {
    for (const char* file : {"palette_8bit.bmp", "argb_32bit.bmp", "core_header.bmp"}) {
        const ToolRun run = Run(ShellQuoted(std::string(RAVK_TEST_DATA_DIR "/bmp/") + file));
        EXPECT_EQ(run.status, 0) << file << ": " << run.err;
        EXPECT_EQ(run.out.rfind("{\"width\":", 0), 0u) << file << ": " << run.out;
    }
}

}  // namespace
