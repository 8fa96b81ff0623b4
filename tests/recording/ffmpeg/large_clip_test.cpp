#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "clip_reader.h"
#include "platform_video_writer.h"
#include "recording_fixture.h"
#include "support/test_files.h"

namespace {

// Bytes of a file too large to read whole.
std::string BytesAt(const std::string& path, std::streamoff offset, std::size_t count) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes(count, '\0');
    in.seekg(offset);
    in.read(bytes.data(), static_cast<std::streamsize>(count));
    return bytes;
}

// About 1.9 GB: beyond the first RIFF list's 1 GB the file goes on in OpenDML "AVIX" lists.
TEST(LargeClip, SixtySecondsOfUncompressed720x480At30FpsPlayWhole) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "half a minute under the sanitizers for code the small clips already cover";
#endif
    const TempDir dir;
    const CurrentDirScope inDir(dir.Path());
    std::mutex lock;
    const TestSurface surface(720, 480, 40);
    const RecordingSource source{lock, [&] { return surface.View(); }};
    ManualClock time;
    const std::atomic<bool> stop{false};
    PlatformVideoWriter writer(PreselectedChoice);
    RunRecording(writer, source, {30, 60}, time.Clock(), stop, nullptr);

    const std::string size = BytesAt("capture.avi", 4, 4);
    const std::uint32_t firstListSize =
        Le32At(std::vector<std::uint8_t>(size.begin(), size.end()), 0);
    const std::string next = BytesAt("capture.avi", 8 + firstListSize, 12);
    EXPECT_EQ(next.substr(0, 4), "RIFF");
    EXPECT_EQ(next.substr(8), "AVIX");

    const std::optional<ClipInfo> clip = ReadClip("capture.avi");
    ASSERT_TRUE(clip);
    EXPECT_EQ(clip->decodedFrames, 1800);
    EXPECT_EQ(clip->indexEntries, 1800);
    EXPECT_TRUE(clip->everyIndexEntryKey);
    EXPECT_EQ(clip->lastPicture, surface.Upright());
}

}  // namespace
