// Runs the built ravk-mask on clips made here by FFmpeg's own program from a pinned photo: a face
// that moves over a moving test picture for two seconds and then leaves, with a tone as sound.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_files.h"
#include "support/tool_runner.h"

namespace {

constexpr int WIDTH = 640;
constexpr int HEIGHT = 360;
constexpr int FRAMES = 30;  // 10 per second; the face is in the first 20
const std::string MODELS = std::string(RAVK_BIN_DIR) + "/models";

struct Shell {
    int status = -1;
    std::string out;
};

// Runs command with sh, standard error into the output too.
Shell RunShell(const std::string& command) {
    Shell run;
    std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.out.append(buffer, got);
    }
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The clip: the photo, 180 pixels wide, at x = 20 + 40 t, y = 20 while t < 2 s, then gone.
std::string MakeClip(const std::string& file, double seconds, const std::string& size) {
    const std::string photo = std::string(RAVK_PHOTO_DIR) + "/audrey.jpg";
    const std::string duration = std::to_string(seconds);
    const Shell run = RunShell(
        "ffmpeg -v error -y -f lavfi -i testsrc=size=" + size + ":rate=10:duration=" + duration +
        " -loop 1 -framerate 10 -i " + ShellQuoted(photo) +
        " -f lavfi -i sine=frequency=440:sample_rate=44100:duration=" + duration +
        " -filter_complex \"[1:v]scale=180:-2[p];[0:v][p]overlay=x='if(lt(t,2),20+40*t,1000)':"
        "y=20:eval=frame:shortest=1[v]\" -map \"[v]\" -map 2:a -c:v libx264 -pix_fmt yuv420p "
        "-c:a aac -t " +
        duration + " " + ShellQuoted(file));
    EXPECT_EQ(run.status, 0) << run.out;
    return file;
}

// Every video frame as RGB bytes, top row first.
std::vector<std::vector<std::uint8_t>> DecodeFrames(const std::string& file) {
    const std::string raw = file + ".rgb";
    const Shell run = RunShell("ffmpeg -v error -y -i " + ShellQuoted(file) +
                               " -f rawvideo -pix_fmt rgb24 " + ShellQuoted(raw));
    EXPECT_EQ(run.status, 0) << run.out;
    const std::vector<std::uint8_t> bytes = ReadFileBytes(raw);
    const std::size_t frameBytes = static_cast<std::size_t>(WIDTH) * HEIGHT * 3;
    std::vector<std::vector<std::uint8_t>> frames;
    for (std::size_t at = 0; at + frameBytes <= bytes.size(); at += frameBytes) {
        frames.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                            bytes.begin() + static_cast<std::ptrdiff_t>(at + frameBytes));
    }
    return frames;
}

// What ffprobe lists for the stream's packets or frames, one entry a line.
std::string Probe(const std::string& file, const std::string& stream, const std::string& entries) {
    const Shell run = RunShell("ffprobe -v error -select_streams " + stream + " -show_entries " +
                               entries + " -of csv=p=0 " + ShellQuoted(file));
    EXPECT_EQ(run.status, 0) << run.out;
    return run.out;
}

std::vector<double> FrameTimes(const std::string& file) {
    std::istringstream lines(Probe(file, "v", "frame=pts_time"));
    std::vector<double> times;
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && std::isdigit(static_cast<unsigned char>(line[0]))) {  // not side data
            times.push_back(std::atof(line.c_str()));
        }
    }
    return times;
}

// The mean difference of the two frames over a rectangle, per colour byte.
double MeanDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b,
                      int left, int top, int width, int height) {
    double sum = 0;
    for (int y = top; y < top + height; ++y) {
        for (int x = 3 * left; x < 3 * (left + width); ++x) {
            const std::size_t at = static_cast<std::size_t>(y) * WIDTH * 3 + x;
            sum += std::abs(int(a[at]) - int(b[at]));
        }
    }
    return sum / (3.0 * width * height);
}

// The middle of the face in the photo of frame n (the photo is 180 x 240).
int FaceLeft(int n) {
    return 20 + 4 * n + 60;
}
constexpr int FACE_TOP = 20 + 70;
constexpr int FACE_SIZE = 60;

class RavkMaskTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        clips = new TempDir;
        MakeClip(clips->File("in.mp4"), 3, "640x360");
    }
    static void TearDownTestSuite() {
        delete clips;
        clips = nullptr;
    }
    static std::string Input() { return clips->File("in.mp4"); }

    ToolRun Mask(const std::string& args) {
        return RunTool("ravk-mask", "--models " + ShellQuoted(MODELS) + " " + args,
                       dir.Path().string());
    }

    // A refused or failed run: status 2 (or the given one), one line naming the cause, and
    // neither the output nor its pending file left.
    void ExpectRefusal(const ToolRun& run, const std::string& cause, int status = 2) {
        EXPECT_EQ(run.status, status) << run.err;
        EXPECT_NE(run.err.find(cause), std::string::npos) << run.err;
        EXPECT_FALSE(std::filesystem::exists(dir.File("out.mp4")));
        EXPECT_FALSE(std::filesystem::exists(dir.File("out.tmp.mp4")));
    }

    static TempDir* clips;
    TempDir dir;
};

TempDir* RavkMaskTest::clips = nullptr;

TEST_F(RavkMaskTest, CoversTheFaceAndKeepsFramesTimesAndSound) {
    // cnn-fast: the default cnn is many times slower in the sanitizer build (FrameEqualsRavkInspect
    // checks that the default is cnn).
    const ToolRun run = Mask("--finder cnn-fast --progress " + ShellQuoted(Input()) + " out.mp4");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string output = dir.File("out.mp4");

    // Not on a terminal, --progress prints one line per tenth.
    std::size_t lines = 0;
    for (std::size_t at = 0; (at = run.err.find(" %,", at)) != std::string::npos; ++at) {
        ++lines;
    }
    EXPECT_EQ(lines, 10u) << run.err;

    const std::vector<double> inTimes = FrameTimes(Input());
    const std::vector<double> outTimes = FrameTimes(output);
    ASSERT_EQ(inTimes.size(), static_cast<std::size_t>(FRAMES));
    ASSERT_EQ(outTimes.size(), inTimes.size());
    for (std::size_t i = 0; i < inTimes.size(); ++i) {
        EXPECT_NEAR(outTimes[i], inTimes[i], 0.0015) << "frame " << i;
    }
    // The sound is copied packet for packet.
    EXPECT_EQ(Probe(output, "a", "packet=pts,duration,size"),
              Probe(Input(), "a", "packet=pts,duration,size"));

    const auto in = DecodeFrames(Input());
    const auto out = DecodeFrames(output);
    ASSERT_EQ(in.size(), static_cast<std::size_t>(FRAMES));
    ASSERT_EQ(out.size(), in.size());
    for (int n = 0; n < FRAMES; ++n) {
        const auto& a = in[static_cast<std::size_t>(n)];
        const auto& b = out[static_cast<std::size_t>(n)];
        // Far from the face (the right third), only the codec's loss.
        EXPECT_LT(MeanDifference(a, b, 440, 0, 200, HEIGHT), 3.0) << "frame " << n;
        const double face =
            MeanDifference(a, b, FaceLeft(std::min(n, 19)), FACE_TOP, FACE_SIZE, FACE_SIZE);
        if (n < 20) {
            EXPECT_GT(face, 8.0) << "face not covered in frame " << n;
        } else if (n < 24) {
            // The face left at 2.0 s; where it was stays covered for 500 ms.
            EXPECT_GT(face, 8.0) << "not held in frame " << n;
        } else if (n > 24) {
            EXPECT_LT(face, 4.0) << "still covered in frame " << n;
        }
    }
}

TEST_F(RavkMaskTest, FrameEqualsRavkInspectCompose) {
    // Rows of 362 pixels are no whole number of vectors: the converters must not write past them.
    const std::string input = MakeClip(dir.File("short.mp4"), 0.5, "362x640");
    const std::string dump = dir.File("dump");
    setenv("RAVK_MASK_TEST_DUMP", ("3:" + dump).c_str(), 1);
    const ToolRun run = Mask("--cover pixelate --box " + ShellQuoted(input) + " out.mkv");
    unsetenv("RAVK_MASK_TEST_DUMP");
    ASSERT_EQ(run.status, 0) << run.err;
    const ToolRun inspect = RunTool(
        "ravk-inspect",
        "--compose --all --cover pixelate --box --finder cnn --models " + ShellQuoted(MODELS) +
            " " + ShellQuoted(dump + ".in.bmp") + " " + ShellQuoted(dir.File("ref.bmp")),
        dir.Path().string());
    ASSERT_EQ(inspect.status, 0) << inspect.err;
    EXPECT_NE(inspect.out.find("\"boxes\":[["), std::string::npos) << inspect.out;
    const std::vector<std::uint8_t> reference = ReadFileBytes(dir.File("ref.bmp"));
    ASSERT_FALSE(reference.empty());
    EXPECT_TRUE(reference == ReadFileBytes(dump + ".out.bmp"));
}

TEST_F(RavkMaskTest, RefusesBadRequestsAndLeavesNoOutput) {
    ExpectRefusal(Mask("missing.mp4 out.mp4"), "cannot open");
    WriteFileBytes(dir.File("text.mp4"), {'n', 'o', 't', ' ', 'a', ' ', 'v', 'i', 'd', 'e', 'o'});
    ExpectRefusal(Mask("text.mp4 out.mp4"), "cannot read text.mp4");
    ExpectRefusal(Mask(ShellQuoted(Input()) + " out.xyz"), "cannot write .xyz files");
    ExpectRefusal(Mask(ShellQuoted(Input()) + " --finder nose out.mp4"), "unknown finder nose");

    // The input as output is refused even with --force, and is left as it was.
    const std::filesystem::path copy = dir.File("copy.mp4");
    std::filesystem::copy_file(Input(), copy);
    const ToolRun same = Mask("--force copy.mp4 ./copy.mp4");
    EXPECT_EQ(same.status, 2);
    EXPECT_NE(same.err.find("is the input"), std::string::npos) << same.err;
    EXPECT_TRUE(ReadFileBytes(copy.string()) == ReadFileBytes(Input()));

    // An existing output is replaced only with --force.
    WriteFileBytes(dir.File("old.mp4"), {'o', 'l', 'd'});
    const ToolRun exists = Mask(ShellQuoted(Input()) + " old.mp4");
    EXPECT_EQ(exists.status, 2);
    EXPECT_NE(exists.err.find("old.mp4 exists"), std::string::npos) << exists.err;
    EXPECT_EQ(ReadFileBytes(dir.File("old.mp4")).size(), 3u);
    EXPECT_EQ(Mask("--finder skin --force " + ShellQuoted(Input()) + " old.mp4").status, 0);
    EXPECT_GT(ReadFileBytes(dir.File("old.mp4")).size(), 1000u);
}

TEST_F(RavkMaskTest, TruncatedInputFailsAndDamagedFrameIsLeftOut) {
    // An MP4 cut in half loses its index at the end; a Matroska file cut short loses frames.
    const Shell whole = RunShell("ffmpeg -v error -i " + ShellQuoted(Input()) + " -c copy " +
                                 ShellQuoted(dir.File("whole.mkv")));
    ASSERT_EQ(whole.status, 0) << whole.out;
    for (const char* name : {"in.mp4", "whole.mkv"}) {
        std::vector<std::uint8_t> bytes =
            ReadFileBytes(name == std::string("in.mp4") ? Input() : dir.File(name));
        bytes.resize(bytes.size() / 2);
        WriteFileBytes(dir.File("cut.mkv"), bytes);
        const ToolRun run = Mask("--finder skin cut.mkv out.mp4");
        ExpectRefusal(run,
                      name == std::string("in.mp4") ? "cannot read cut.mkv" : "cut.mkv ends early");
    }

    // Motion JPEG with the start of the frame at 1.1 s wiped: that frame alone is left out.
    const Shell mjpeg = RunShell("ffmpeg -v error -i " + ShellQuoted(Input()) +
                                 " -c:v mjpeg -c:a copy " + ShellQuoted(dir.File("mjpeg.avi")));
    ASSERT_EQ(mjpeg.status, 0) << mjpeg.out;
    std::vector<std::uint8_t> bytes = ReadFileBytes(dir.File("mjpeg.avi"));
    std::size_t frameStart = 0;
    for (int seen = 0; frameStart + 1 < bytes.size(); ++frameStart) {
        if (bytes[frameStart] == 0xFF && bytes[frameStart + 1] == 0xD8 && seen++ == 10) {
            break;
        }
    }
    ASSERT_LT(frameStart + 300, bytes.size());
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(frameStart), 300, 0);
    WriteFileBytes(dir.File("damaged.avi"), bytes);
    const ToolRun run = Mask("--finder skin damaged.avi out.mkv");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("ravk-mask: warning: the frame at 1.1"), std::string::npos) << run.err;
    EXPECT_EQ(FrameTimes(dir.File("out.mkv")).size(), static_cast<std::size_t>(FRAMES - 1));
}

TEST_F(RavkMaskTest, FullDiskFailsWithoutOutput) {
    const Shell limited =
        RunShell("cd " + ShellQuoted(dir.Path().string()) + " && ulimit -f 8 && " +
                 ShellQuoted(std::string(RAVK_BIN_DIR) + "/ravk-mask") + " --finder skin " +
                 ShellQuoted(Input()) + " out.mp4");
    EXPECT_EQ(limited.status, 2) << limited.out;
    EXPECT_NE(limited.out.find("cannot write out.mp4: File too large"), std::string::npos)
        << limited.out;
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.mp4")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.tmp.mp4")));
}

TEST_F(RavkMaskTest, CtrlCStopsWithoutOutput) {
    const std::string input = MakeClip(dir.File("long.mp4"), 30, "320x180");
    // Interrupted as soon as the pending file is there (the handler is in place by then).
    const Shell run = RunShell(
        "cd " + ShellQuoted(dir.Path().string()) + " && (" +
        ShellQuoted(std::string(RAVK_BIN_DIR) + "/ravk-mask") + " --models " + ShellQuoted(MODELS) +
        " long.mp4 out.mp4 & pid=$!; while [ ! -e out.tmp.mp4 ]; do sleep 0.01; done; "
        "kill -INT $pid; wait $pid; echo status $?)");
    EXPECT_NE(run.out.find("ravk-mask: interrupted\nstatus 130"), std::string::npos) << run.out;
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.mp4")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.tmp.mp4")));
}

}  // namespace
