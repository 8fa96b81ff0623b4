#include "platform_video_writer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <string_view>
#include <thread>

#include "clip_reader.h"
#include "recording_fixture.h"
#include "support/test_files.h"

namespace {

class FfmpegRecordingTest : public ::testing::Test {
  protected:
    TempDir dir;
    CurrentDirScope inDir{dir.Path()};
    std::mutex lock;
    TestSurface first{37, 21, 40}, later{37, 21, 200};
    // The recorder reads the surface once for its size, then once a frame: only frame 0 shows
    // `first`.
    int reads = 0;
    RecordingSource source{lock, [this] { return (reads++ < 2 ? first : later).View(); }};
    ManualClock time;
    std::atomic<bool> stop{false};

    void Record(ChooseCompressorFunction choose, RecordSettings settings = {}) {
        reads = 0;
        PlatformVideoWriter writer(std::move(choose));
        RunRecording(writer, source, settings, time.Clock(), stop, nullptr);
    }
};

// The real writer, telling the test how many frames it has written (also from the recorder's
// thread).
struct CountingWriter : VideoWriter {
    PlatformVideoWriter inner{PreselectedChoice};
    std::atomic<int>& written;

    explicit CountingWriter(std::atomic<int>& w) : written(w) {}
    bool ChooseCompressor(const RecordingFormat& f) override { return inner.ChooseCompressor(f); }
    bool Open(const std::string& name, const RecordingFormat& f) override {
        return inner.Open(name, f);
    }
    bool WriteFrame(std::int32_t index, const std::uint8_t* frame) override {
        const bool done = inner.WriteFrame(index, frame);
        written += done ? 1 : 0;
        return done;
    }
    bool Close() override { return inner.Close(); }
};

std::size_t Find(const std::vector<std::uint8_t>& bytes, std::string_view text,
                 std::size_t from = 0) {
    const auto at = std::search(bytes.begin() + from, bytes.end(), text.begin(), text.end());
    return static_cast<std::size_t>(at - bytes.begin());
}

TEST(CompressorChoice, OffersUncompressedFirstThenTheEncodersOfThisBuild) {
    const RecordingFormat format = MakeRecordingFormat(640, 480, {});
    const std::vector<CompressorOption> options = AvailableCompressors(format);
    std::vector<std::string> names;
    for (const CompressorOption& option : options) {
        names.push_back(option.encoderName);
        EXPECT_EQ(option.hasQuality,
                  option.encoderName == "mjpeg" || option.encoderName == "mpeg4");
    }
    EXPECT_EQ(names, (std::vector<std::string>{"rawvideo", "mjpeg", "ffv1", "huffyuv", "mpeg4"}));
    EXPECT_EQ(options.front().label, "Uncompressed (24-bit RGB)");
    EXPECT_EQ(PreselectedChoice(options, format)->encoderName, "rawvideo");
    EXPECT_FALSE(PreselectedChoice({}, format));
}

TEST_F(FfmpegRecordingTest, DefaultsGiveSeventyFiveUprightFramesAsABottomUpDibStream) {
    Record(PreselectedChoice);
    const std::optional<ClipInfo> clip = ReadClip("capture.avi");
    ASSERT_TRUE(clip);
    EXPECT_EQ(clip->codec, "rawvideo");
    EXPECT_EQ(clip->streamTitle, "Video #1");
    EXPECT_EQ(clip->width, 37);
    EXPECT_EQ(clip->height, 21);
    EXPECT_EQ(clip->frameRateNum, 15);
    EXPECT_EQ(clip->frameRateDen, 1);
    EXPECT_EQ(clip->packets, 75);
    EXPECT_EQ(clip->decodedFrames, 75);
    EXPECT_EQ(clip->indexEntries, 75);
    EXPECT_TRUE(clip->everyIndexEntryKey);
    EXPECT_TRUE(clip->everyPacketKey);
    EXPECT_EQ(clip->firstPicture, first.Upright());
    EXPECT_EQ(clip->lastPicture, later.Upright());

    // On disk: a BI_RGB header of positive height and the frames' rows padded to 4 bytes, the
    // picture's bottom row first, as players of DIB streams expect.
    const std::vector<std::uint8_t> bytes = ReadFileBytes("capture.avi");
    const std::size_t header = Find(bytes, "strf") + 8;
    EXPECT_EQ(static_cast<std::int32_t>(Le32At(bytes, header + 8)), 21);
    EXPECT_EQ(Le16At(bytes, header + 14), 24);
    EXPECT_EQ(Le32At(bytes, header + 16), 0u);
    const std::size_t chunk = Find(bytes, "00dc", Find(bytes, "movi"));
    EXPECT_EQ(Le32At(bytes, chunk + 4), 112u * 21);
    EXPECT_TRUE(std::equal(first.At(0, 20), first.At(0, 20) + 3 * 37, &bytes.at(chunk + 8)));
}

TEST_F(FfmpegRecordingTest, FrameCountAndRateFollowTheSettings) {
    for (const RecordSettings settings : {RecordSettings{30, 5}, RecordSettings{5, 7}}) {
        Record(PreselectedChoice, settings);
        const std::optional<ClipInfo> clip = ReadClip("capture.avi");
        ASSERT_TRUE(clip);
        EXPECT_EQ(clip->decodedFrames, settings.recordFps * settings.recordSeconds);
        EXPECT_EQ(clip->indexEntries, clip->decodedFrames);
        EXPECT_EQ(clip->frameRateNum, settings.recordFps);
    }
}

TEST_F(FfmpegRecordingTest, EveryOfferedEncoderWritesUprightKeyFramesOfTheClipSize) {
    first = TestSurface(96, 72, 40);
    later = TestSurface(96, 72, 200);
    const RecordingFormat format = MakeRecordingFormat(96, 72, {5, 5});
    for (const CompressorOption& option : AvailableCompressors(format)) {
        SCOPED_TRACE(option.encoderName);
        Record(Choose(option.encoderName), {5, 5});
        const std::optional<ClipInfo> clip = ReadClip("capture.avi");
        ASSERT_TRUE(clip);
        EXPECT_EQ(clip->codec, option.encoderName);
        EXPECT_EQ(clip->streamTitle, "Video #1");
        EXPECT_EQ(clip->width, 96);
        EXPECT_EQ(clip->height, 72);
        EXPECT_EQ(clip->decodedFrames, 25);
        EXPECT_EQ(clip->indexEntries, 25);
        EXPECT_TRUE(clip->everyIndexEntryKey);
        if (option.hasQuality) {
            // Close, where a flipped picture or a wrong YUV range would be far off.
            EXPECT_LT(MeanDifference(clip->firstPicture, first.Upright()), 3);
            EXPECT_LT(MeanDifference(clip->lastPicture, later.Upright()), 3);
        } else {
            EXPECT_EQ(clip->firstPicture, first.Upright());
            EXPECT_EQ(clip->lastPicture, later.Upright());
        }
    }
}

TEST_F(FfmpegRecordingTest, EveryEncoderOfferedForAnOddSizeRecordsIt) {
    const RecordingFormat format = MakeRecordingFormat(first.width, first.height, {5, 5});
    for (const CompressorOption& option : AvailableCompressors(format)) {
        SCOPED_TRACE(option.encoderName);
        Record(Choose(option.encoderName), {5, 5});
        const std::optional<ClipInfo> clip = ReadClip("capture.avi");
        ASSERT_TRUE(clip);
        EXPECT_EQ(clip->width, 37);
        EXPECT_EQ(clip->decodedFrames, 25);
        EXPECT_LT(MeanDifference(clip->lastPicture, later.Upright()), 10);
    }
}

TEST_F(FfmpegRecordingTest, QualityAndDataRateReachTheEncoder) {
    const auto sizeWith = [this](int quality, std::int32_t dataRate) {
        Record(Choose("mjpeg", quality, dataRate), {15, 5});
        return std::filesystem::file_size("capture.avi");
    };
    const auto best = sizeWith(QUALITY_MAX, 0);
    EXPECT_LT(sizeWith(QUALITY_MIN, 0), best);
    EXPECT_LT(sizeWith(QUALITY_MAX, 1), best);
}

TEST_F(FfmpegRecordingTest, SmallerSurfaceLandsAtTheBottomLeftOfTheClip) {
    const TestSurface small(20, 10, 90);
    source.currentSurface = [&] { return (reads++ < 2 ? first : small).View(); };
    Record(PreselectedChoice, {5, 5});
    const std::optional<ClipInfo> clip = ReadClip("capture.avi");
    ASSERT_TRUE(clip);
    EXPECT_EQ(clip->width, 37);
    EXPECT_EQ(clip->height, 21);
    for (std::int32_t r = 0; r < 21; ++r) {
        const std::uint8_t* row = &clip->lastPicture[r * 37 * 3];
        const bool smallRows = r >= 11;
        if (smallRows) {
            EXPECT_TRUE(std::equal(row, row + 20 * 3, small.At(0, r - 11))) << r;
        }
        const std::int32_t keptFrom = smallRows ? 20 : 0;
        EXPECT_TRUE(std::equal(row + keptFrom * 3, row + 37 * 3, first.At(keptFrom, r))) << r;
    }
}

TEST_F(FfmpegRecordingTest, CancelLeavesAnEarlierFileUntouched) {
    WriteFileBytes("capture.avi", {'e', 'a', 'r', 'l', 'i', 'e', 'r'});
    std::vector<CompressorOption> offered;
    Record([&](const std::vector<CompressorOption>& options, const RecordingFormat& format) {
        offered = options;
        EXPECT_EQ(format.width, 37);
        return std::optional<CompressorChoice>();
    });
    ASSERT_FALSE(offered.empty());
    EXPECT_EQ(ReadFileBytes("capture.avi"),
              (std::vector<std::uint8_t>{'e', 'a', 'r', 'l', 'i', 'e', 'r'}));
}

TEST_F(FfmpegRecordingTest, ChoiceOfAnEncoderNotOfferedEndsTheRecordingWithoutAFile) {
    Record(Choose("no-such-encoder"));
    EXPECT_FALSE(std::filesystem::exists("capture.avi"));
}

template <typename Condition>
bool WaitFor(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return condition();
}

TEST_F(FfmpegRecordingTest, ProtectedEarlierClipEndsTheRecordingQuietlyAndStays) {
    std::filesystem::create_directories("capture.avi/in-the-way");
    std::atomic<int> written{0};
    Recorder recorder(source, SystemRecorderClock(), nullptr);
    ASSERT_TRUE(recorder.Start(std::make_unique<CountingWriter>(written), {}));
    EXPECT_TRUE(WaitFor([&] { return !recorder.Active(); }));
    EXPECT_TRUE(std::filesystem::is_directory("capture.avi/in-the-way"));

    std::filesystem::remove_all("capture.avi");
    const std::vector<std::uint8_t> earlier = {'k', 'e', 'e', 'p'};
    WriteFileBytes("capture.avi", earlier);
    std::filesystem::permissions("capture.avi", std::filesystem::perms::owner_read);
    ASSERT_TRUE(recorder.Start(std::make_unique<CountingWriter>(written), {}));
    EXPECT_TRUE(WaitFor([&] { return !recorder.Active(); }));
    EXPECT_EQ(ReadFileBytes("capture.avi"), earlier);
    EXPECT_EQ(written, 0);
}

TEST_F(FfmpegRecordingTest, StoppingMidRecordingKeepsAWholeClipOfTheFramesSoFar) {
    std::atomic<int> written{0};
    {
        Recorder recorder(source, SystemRecorderClock(), nullptr);
        ASSERT_TRUE(recorder.Start(std::make_unique<CountingWriter>(written), {30, 60}));
        ASSERT_TRUE(WaitFor([&] { return written >= 3; }));
    }  // the viewer closes
    const std::optional<ClipInfo> clip = ReadClip("capture.avi");
    ASSERT_TRUE(clip);
    EXPECT_LT(written, 1800);
    EXPECT_EQ(clip->decodedFrames, written);
    EXPECT_EQ(clip->indexEntries, written);  // finished with an index
    EXPECT_EQ(clip->firstPicture, first.Upright());
}

// Writes beyond `bytes` fail, as on a full disk, for the lifetime of this object.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &previous_);
        previousSignal_ = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, previous_.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousSignal_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit previous_{};
    void (*previousSignal_)(int) = SIG_DFL;
};

TEST_F(FfmpegRecordingTest, AFullDiskEndsTheRecordingAndKeepsTheEarlierClip) {
    first = TestSurface(160, 120, 40);
    later = TestSurface(160, 120, 200);
    std::atomic<int> written{0};
    {
        CountingWriter earlier(written);
        RunRecording(earlier, source, {}, time.Clock(), stop, nullptr);
    }
    const std::vector<std::uint8_t> earlierClip = ReadFileBytes("capture.avi");
    ASSERT_EQ(written, 75);
    written = 0;
    {
        const FileSizeLimit diskFull(700 * 1024);  // room for about a dozen frames of 56 KiB
        CountingWriter writer(written);
        RunRecording(writer, source, {}, time.Clock(), stop, nullptr);
    }
    EXPECT_GT(written, 1);
    EXPECT_LT(written, 75);  // the failure ended the recording
    EXPECT_EQ(ReadFileBytes("capture.avi"), earlierClip);
    EXPECT_FALSE(std::filesystem::exists("capture.tmp.avi"));
    EXPECT_FALSE(std::filesystem::exists(RECORDING_PARTIAL_FILE));  // no room for its index
}

}  // namespace
