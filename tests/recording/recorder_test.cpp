#include "recorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "support/test_files.h"
#include "support/test_surface.h"

namespace {

struct FakeWriter : VideoWriter {
    bool chooseResult = true;
    bool openResult = true;
    bool closeResult = true;
    std::function<void()> atClose = [] {};
    int failWriteAt = -1;                 // index whose write fails
    std::uint32_t* clockTicks = nullptr;  // advanced by writeMs on every write, when set
    std::uint32_t writeMs = 0;

    RecordingFormat chosen, opened;
    std::string fileName;
    std::vector<std::int32_t> indices;
    std::vector<std::uint32_t> writeTicks;
    std::vector<std::vector<std::uint8_t>> frames;
    int closes = 0;

    bool ChooseCompressor(const RecordingFormat& format) override {
        chosen = format;
        return chooseResult;
    }
    bool Open(const std::string& name, const RecordingFormat& format) override {
        fileName = name;
        opened = format;
        WriteFileBytes(name, {'n', 'e', 'w'});  // created, as a real writer does, even if it fails
        return openResult;
    }
    bool WriteFrame(std::int32_t index, const std::uint8_t* frame) override {
        if (index == failWriteAt) {
            return false;
        }
        indices.push_back(index);
        if (clockTicks != nullptr) {
            writeTicks.push_back(*clockTicks);
            *clockTicks += writeMs;
        }
        frames.emplace_back(frame, frame + opened.frameBytes);
        return true;
    }
    bool Close() override {
        ++closes;
        atClose();
        return closeResult;
    }
};

// Whether pixel x of bottom-up row `row` of a recorded frame holds the bytes at `expected`.
bool PixelIs(const std::vector<std::uint8_t>& frame, const RecordingFormat& f, std::int32_t x,
             std::int32_t row, const std::uint8_t* expected) {
    return std::equal(expected, expected + 3, &frame[row * f.rowBytes + 3 * x]);
}

TEST(CaptureSettings, ReadsUnsignedNumbersAndClampsAsSigned) {
    EXPECT_EQ(ReadUnsignedField(" 20 "), 20u);
    EXPECT_EQ(ReadUnsignedField("4294967295"), 4294967295u);
    for (const char* notANumber : {"", "  ", "abc", "12abc", "-3", "+3", "4294967296"}) {
        EXPECT_EQ(ReadUnsignedField(notANumber), 0u) << notANumber;
    }
    auto fps = [](const char* text) { return ApplyCaptureSettings(text, "10").recordFps; };
    auto seconds = [](const char* text) { return ApplyCaptureSettings("10", text).recordSeconds; };
    EXPECT_EQ(fps(""), 5);
    EXPECT_EQ(fps("0"), 5);
    EXPECT_EQ(fps("17"), 17);
    EXPECT_EQ(fps("31"), 30);
    EXPECT_EQ(fps("4294967296"), 5);
    EXPECT_EQ(fps("3000000000"), 5);  // above 2147483647: negative as a signed number
    EXPECT_EQ(fps("2147483647"), 30);
    EXPECT_EQ(seconds("61"), 60);
    EXPECT_EQ(seconds("4"), 5);
    EXPECT_EQ(FormatUnsignedField(15), "15");
}

TEST(RecordingFormat, RowsAreFourByteAlignedAndCountIsRateTimesLength) {
    EXPECT_EQ(MakeRecordingFormat(640, 480, {}).rowBytes, 1920);
    EXPECT_EQ(MakeRecordingFormat(320, 240, {}).rowBytes, 960);
    EXPECT_EQ(MakeRecordingFormat(720, 480, {}).rowBytes, 2160);
    EXPECT_EQ(MakeRecordingFormat(5, 2, {}).rowBytes, 16);
    EXPECT_EQ(MakeRecordingFormat(5, 2, {}).frameBytes, 32u);
    EXPECT_EQ(MakeRecordingFormat(640, 480, {}).frameCount, 75);
    EXPECT_EQ(MakeRecordingFormat(640, 480, {30, 60}).frameCount, 1800);
}

class RunRecordingTest : public ::testing::Test {
  protected:
    TempDir dir;
    CurrentDirScope inDir{dir.Path()};
    std::mutex lock;
    TestSurface surface{8, 6, 1};
    const TestSurface* shown = &surface;
    RecordingSource source{lock, [this] { return shown->View(); }};
    ManualClock time;
    std::atomic<bool> stop{false};
    FakeWriter writer;

    void Record(RecordSettings settings = {}) {
        RunRecording(writer, source, settings, time.Clock(), stop, nullptr);
    }
};

TEST_F(RunRecordingTest, WritesEveryFrameOnScheduleAsUprightBottomUpRows) {
    writer.clockTicks = &time.ticks;
    Record({30, 60});
    EXPECT_EQ(writer.fileName, "capture.tmp.avi");
    EXPECT_EQ(writer.opened.width, 8);
    EXPECT_EQ(writer.opened.fps, 30);
    ASSERT_EQ(writer.indices.size(), 1800u);
    for (std::int32_t i = 0; i < 1800; ++i) {
        ASSERT_EQ(writer.indices[i], i);
        // Released at the first tick at which i / fps * 1000, in double precision, has passed.
        const double due = static_cast<double>(i) / 30 * 1000;
        const std::uint32_t elapsed = writer.writeTicks[i] - 1000;
        ASSERT_GE(elapsed, due) << i;
        ASSERT_LT(elapsed, due + 1) << i;
    }
    EXPECT_EQ(writer.closes, 1);
    // The surface's top row is the frame's last row.
    const RecordingFormat& f = writer.opened;
    EXPECT_TRUE(PixelIs(writer.frames[0], f, 3, 5, surface.At(3, 0)));
    EXPECT_TRUE(PixelIs(writer.frames[0], f, 3, 0, surface.At(3, 5)));
    EXPECT_TRUE(PixelIs(writer.frames[0], f, 7, 0, surface.At(7, 5)));
}

TEST_F(RunRecordingTest, SlowWriterCatchesUpWithoutSkippingOrRepeating) {
    writer.clockTicks = &time.ticks;
    writer.writeMs = 150;  // far longer than a frame period
    Record({30, 5});
    ASSERT_EQ(writer.indices.size(), 150u);
    for (std::size_t i = 1; i < writer.writeTicks.size(); ++i) {
        EXPECT_EQ(writer.writeTicks[i] - writer.writeTicks[i - 1], 150u);  // no waiting
    }
}

TEST_F(RunRecordingTest, PacingSurvivesTickWrapAround) {
    time.ticks = 0xFFFFFFF0u;
    writer.clockTicks = &time.ticks;
    Record({5, 5});
    ASSERT_EQ(writer.indices.size(), 25u);
    EXPECT_EQ(writer.writeTicks[1] - 0xFFFFFFF0u, 200u);
}

TEST_F(RunRecordingTest, SurfaceChangingSizeKeepsTheClipSize) {
    TestSurface small(4, 3, 2), large(12, 9, 3);
    writer.failWriteAt = 3;  // three frames: original, smaller, larger
    int frame = 0;
    source.currentSurface = [&] {
        const TestSurface* sizes[] = {&surface, &surface, &small, &large};
        return sizes[std::min(frame++, 3)]->View();
    };
    Record();
    ASSERT_EQ(writer.frames.size(), 3u);
    const RecordingFormat& f = writer.opened;
    // Smaller: at the bottom left, the rest keeps the previous frame.
    const auto& second = writer.frames[1];
    EXPECT_TRUE(PixelIs(second, f, 0, 0, small.At(0, 2)));  // its bottom row, row 2 from the top
    EXPECT_TRUE(PixelIs(second, f, 3, 2, small.At(3, 0)));
    EXPECT_TRUE(PixelIs(second, f, 4, 0, surface.At(4, 5)));
    EXPECT_TRUE(PixelIs(second, f, 0, 3, surface.At(0, 2)));
    // Larger: its top-left part.
    const auto& third = writer.frames[2];
    EXPECT_TRUE(PixelIs(third, f, 7, 5, large.At(7, 0)));
    EXPECT_TRUE(PixelIs(third, f, 0, 0, large.At(0, 5)));
    EXPECT_EQ(writer.closes, 1);
}

std::string Contents(std::FILE* file) {
    std::string text;
    std::rewind(file);
    for (int c; (c = std::fgetc(file)) != EOF;) {
        text.push_back(static_cast<char>(c));
    }
    return text;
}

TEST_F(RunRecordingTest, OnlyAWholeClipReplacesTheEarlierOneAndEveryFailureIsTold) {
    namespace fs = std::filesystem;
    const std::vector<std::uint8_t> earlier = {'o', 'l', 'd'}, recorded = {'n', 'e', 'w'};
    struct Case {
        const char* what;
        bool open;
        int failWriteAt;
        bool close;
        std::size_t framesWritten;
        bool replaced;
        bool partialKept;
        std::string line;  // the failure line, "" for none
    };
    const Case cases[] = {
        {"whole", true, -1, true, 75, true, false, ""},
        {"cannot open", false, -1, true, 0, false, false,
         "capture.tmp.avi could not be created with the chosen compressor"},
        {"write fails, file closes", true, 40, true, 40, false, true,
         "frame 40 could not be written, the frames so far are in capture.partial.avi"},
        {"first write fails", true, 0, true, 0, false, false, "frame 0 could not be written"},
        {"disk full", true, 40, false, 40, false, false, "frame 40 could not be written"},
        {"close fails", true, -1, false, 75, false, false, "capture.tmp.avi could not be finished"},
    };
    for (const Case& c : cases) {
        fs::remove(RECORDING_PARTIAL_FILE);
        WriteFileBytes(RECORDING_FILE, earlier);
        WriteFileBytes("capture.tmp.avi", {'k', 'i', 'l', 'l'});  // left by a killed run
        FakeWriter fake;
        fake.openResult = c.open;
        fake.failWriteAt = c.failWriteAt;
        fake.closeResult = c.close;
        std::FILE* log = std::tmpfile();
        RunRecording(fake, source, {}, time.Clock(), stop, log);
        EXPECT_EQ(fake.indices.size(), c.framesWritten) << c.what;
        EXPECT_EQ(fake.closes, 1) << c.what;
        EXPECT_EQ(ReadFileBytes(RECORDING_FILE), c.replaced ? recorded : earlier) << c.what;
        EXPECT_EQ(fs::exists(RECORDING_PARTIAL_FILE), c.partialKept) << c.what;
        EXPECT_FALSE(fs::exists("capture.tmp.avi")) << c.what;
        const std::string text = Contents(log);
        const std::size_t line = text.find("AviCreater: ");
        EXPECT_EQ(line == std::string::npos ? "" : text.substr(line),
                  c.line.empty() ? "" : "AviCreater: " + c.line + "; capture.avi is unchanged\n")
            << c.what;
        std::fclose(log);
    }
    // capture.avi taken by a folder meanwhile: the whole clip goes aside.
    writer.atClose = [] {
        fs::remove(RECORDING_FILE);
        fs::create_directories("capture.avi/taken");
    };
    Record();
    EXPECT_EQ(ReadFileBytes(RECORDING_PARTIAL_FILE), recorded);

    writer.chooseResult = false;  // a cancel: nothing is created
    writer.fileName.clear();
    writer.closes = 0;
    Record();
    EXPECT_TRUE(writer.fileName.empty());
    EXPECT_EQ(writer.closes, 0);
}

TEST_F(RunRecordingTest, ProtectedEarlierClipOrNoPictureEndsWithoutAFile) {
    namespace fs = std::filesystem;
    const std::vector<std::uint8_t> earlier = {'o', 'l', 'd'};
    // Kept, and the recording ends as when the file cannot be created: a read-only clip (also for
    // root), a folder, and any clip when there is no frame layout to record.
    struct Case {
        const char* what;
        std::function<void()> make;
        RecordSettings settings;
    };
    const Case kept[] = {
        {"read-only file",
         [&] {
             WriteFileBytes(RECORDING_FILE, earlier);
             fs::permissions(RECORDING_FILE, fs::perms::owner_read | fs::perms::group_read);
         },
         {}},
        {"folder", [] { fs::create_directory(RECORDING_FILE); }, {}},
        {"no frame rate", [&] { WriteFileBytes(RECORDING_FILE, earlier); }, {0, 5}},
    };
    for (const Case& c : kept) {
        std::error_code absent;  // a read-only file is deleted only once it may be written again
        fs::permissions(RECORDING_FILE, fs::perms::owner_all, absent);
        fs::remove_all(RECORDING_FILE);
        c.make();
        const bool folder = fs::is_directory(RECORDING_FILE);
        FakeWriter refused;
        RunRecording(refused, source, c.settings, time.Clock(), stop, nullptr);
        EXPECT_TRUE(refused.fileName.empty()) << c.what;
        EXPECT_EQ(refused.closes, 1) << c.what;
        EXPECT_EQ(fs::is_directory(RECORDING_FILE), folder) << c.what;
        if (!folder) {
            EXPECT_EQ(ReadFileBytes(RECORDING_FILE), earlier) << c.what;
        }
    }
}

// A writer for recordings on the recorder's thread: it reports through counters the test owns,
// since the recorder owns (and finally destroys) the writer. Each write waits for `gate`.
struct CountingWriter : VideoWriter {
    std::atomic<int>& written;
    std::atomic<int>& closes;
    std::mutex& gate;

    CountingWriter(std::atomic<int>& w, std::atomic<int>& c, std::mutex& g)
        : written(w), closes(c), gate(g) {}
    bool ChooseCompressor(const RecordingFormat&) override { return true; }
    bool Open(const std::string&, const RecordingFormat&) override { return true; }
    bool WriteFrame(std::int32_t, const std::uint8_t*) override {
        const std::lock_guard<std::mutex> wait(gate);
        ++written;
        return true;
    }
    bool Close() override {
        ++closes;
        return true;
    }
};

class RecorderTest : public ::testing::Test {
  protected:
    TempDir dir;
    CurrentDirScope inDir{dir.Path()};
    std::mutex lock, gate;
    TestSurface surface{8, 6, 1};
    std::atomic<int> written{0}, closes{0};

    std::unique_ptr<VideoWriter> Writer() {
        return std::make_unique<CountingWriter>(written, closes, gate);
    }
    RecordingSource Source() {
        return {lock, [this] { return surface.View(); }};
    }
};

TEST_F(RecorderTest, RunsOneRecordingAtATimeAndPrintsItsDiagnostics) {
    std::FILE* log = std::tmpfile();
    gate.lock();
    {
        Recorder recorder(Source(), SystemRecorderClock(), log);
        EXPECT_FALSE(recorder.Active());
        ASSERT_TRUE(recorder.Start(Writer(), {30, 5}));
        EXPECT_TRUE(recorder.Active());
        EXPECT_FALSE(recorder.Start(Writer(), {}));  // a quick second press starts nothing
        gate.unlock();
        while (written < 1) {
            std::this_thread::yield();
        }
        recorder.StopAndWait();
        EXPECT_FALSE(recorder.Active());
        EXPECT_EQ(closes, 1);
        // The next recording may start once the first has ended.
        ASSERT_TRUE(recorder.Start(Writer(), {30, 5}));
    }
    EXPECT_EQ(closes, 2);
    // The refused press prints its START line from the pressing thread, in any order with the
    // running recording's lines; only the recordings that ran print END.
    std::vector<std::string> lines;
    std::istringstream text(Contents(log));
    for (std::string line; std::getline(text, line);) {
        lines.push_back(line);
    }
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "START AviCreater");
    EXPECT_EQ(lines.back(), "END AviCreater");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "START AviCreater"), 3);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "END AviCreater"), 2);
    EXPECT_GE(std::count(lines.begin(), lines.end(), " 0 : 0.0"), 1);
    std::fclose(log);
}

TEST_F(RecorderTest, ClosingTheViewerMidRecordingClosesTheFileWithTheFramesSoFar) {
    {
        Recorder recorder(Source(), SystemRecorderClock(), nullptr);
        ASSERT_TRUE(recorder.Start(Writer(), {30, 60}));
        while (written < 2) {
            std::this_thread::yield();
        }
    }  // the viewer closes: the recorder goes before the surface and the lock
    EXPECT_EQ(closes, 1);
    EXPECT_LT(written, 1800);
}

}  // namespace
