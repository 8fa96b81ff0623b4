#include "bmp_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_files.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "support/fifo_guard.h"
#endif

namespace {

// Every pixel differs from its neighbours, so a swapped row, column or channel shows.
FrameImage PatternImage(std::int32_t width, std::int32_t height) {
    FrameImage image = MakeFrameImage(width, height);
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            image.pixels[static_cast<std::size_t>(y * width + x)] = {
                static_cast<std::uint8_t>(16 * y + x), static_cast<std::uint8_t>(100 + x),
                static_cast<std::uint8_t>(200 + y)};
        }
    }
    return image;
}

std::string DataFile(const std::string& name) {
    return std::string(RAVK_TEST_DATA_DIR) + "/bmp/" + name;
}

class BmpFileTest : public ::testing::Test {
  protected:
    TempDir dir;
};

TEST_F(BmpFileTest, FileSizeAndBfSizeFollowTheRowPadding) {
    struct Case {
        std::int32_t width, height;
        std::size_t bytes;
    };
    for (const Case& c : {Case{640, 480, 921654}, Case{320, 240, 230454}, Case{720, 480, 1036854},
                          Case{1, 1, 58}, Case{5, 2, 86}, Case{0, 0, 54}}) {
        const std::string file = dir.File("size.bmp");
        ASSERT_TRUE(WriteBmpFile(file, MakeFrameImage(c.width, c.height)));
        const std::vector<std::uint8_t> bytes = ReadFileBytes(file);
        EXPECT_EQ(bytes.size(), c.bytes) << c.width << " x " << c.height;
        EXPECT_EQ(Le32At(bytes, 2), c.bytes) << c.width << " x " << c.height;
    }
}

TEST_F(BmpFileTest, HeaderFieldsDescribeABottomUp24BitPicture) {
    const std::string file = dir.File("header.bmp");
    ASSERT_TRUE(WriteBmpFile(file, PatternImage(5, 2)));
    const std::vector<std::uint8_t> bytes = ReadFileBytes(file);
    ASSERT_EQ(bytes.size(), 86u);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    EXPECT_EQ(Le32At(bytes, 2), 86u);
    EXPECT_EQ(Le32At(bytes, 6), 0u);  // both reserved fields
    EXPECT_EQ(Le32At(bytes, 10), 54u);
    EXPECT_EQ(Le32At(bytes, 14), 40u);
    EXPECT_EQ(Le32At(bytes, 18), 5u);
    EXPECT_EQ(Le32At(bytes, 22), 2u);
    EXPECT_EQ(Le16At(bytes, 26), 1u);
    EXPECT_EQ(Le16At(bytes, 28), 24u);
    for (std::size_t at = 30; at < 54; at += 4) {
        EXPECT_EQ(Le32At(bytes, at), 0u) << "offset " << at;
    }
}

TEST_F(BmpFileTest, PixelBytesFollowInStorageOrderWithZeroPadding) {
    const FrameImage image = PatternImage(5, 2);
    const std::string file = dir.File("pixels.bmp");
    ASSERT_TRUE(WriteBmpFile(file, image));
    const std::vector<std::uint8_t> bytes = ReadFileBytes(file);
    ASSERT_EQ(bytes.size(), 86u);
    for (std::int32_t y = 0; y < 2; ++y) {
        const std::size_t row = 54 + 16 * static_cast<std::size_t>(y);
        for (std::int32_t x = 0; x < 5; ++x) {
            const Pixel24 p = image.pixels[static_cast<std::size_t>(y * 5 + x)];
            const std::size_t at = row + 3 * static_cast<std::size_t>(x);
            EXPECT_EQ(bytes[at], p.blue);
            EXPECT_EQ(bytes[at + 1], p.green);
            EXPECT_EQ(bytes[at + 2], p.red);
        }
        EXPECT_EQ(bytes[row + 15], 0) << "padding of row " << y;
    }
}

TEST_F(BmpFileTest, ExistingFileIsReplaced) {
    const std::string file = dir.File("replace.bmp");
    ASSERT_TRUE(WriteBmpFile(file, MakeFrameImage(64, 64)));
    ASSERT_TRUE(WriteBmpFile(file, MakeFrameImage(1, 1)));
    EXPECT_EQ(std::filesystem::file_size(file), 58u);
}

TEST_F(BmpFileTest, UnopenableFileGivesFalseAndLeavesNothing) {
    const std::string file = dir.File("missing-folder/out.bmp");
    EXPECT_FALSE(WriteBmpFile(file, PatternImage(3, 3)));
    EXPECT_FALSE(std::filesystem::exists(dir.File("missing-folder")));
}

TEST_F(BmpFileTest, ImageWhosePixelCountDisagreesWithItsSizeIsRefused) {
    FrameImage image = PatternImage(4, 4);
    image.pixels.pop_back();
    const std::string file = dir.File("broken.bmp");
    EXPECT_FALSE(WriteBmpFile(file, image));
    EXPECT_FALSE(std::filesystem::exists(file));
}

// The names in the folder, to see that nothing was left behind.
std::vector<std::string> FolderNames(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

TEST_F(BmpFileTest, ReadOnlyFilesFoldersAndDevicesAreNotReplaced) {
    const std::string locked = dir.File("locked.bmp");
    ASSERT_TRUE(WriteBmpFile(locked, PatternImage(2, 2)));
    const std::vector<std::uint8_t> earlier = ReadFileBytes(locked);
    std::filesystem::permissions(locked, std::filesystem::perms::owner_read);
    EXPECT_FALSE(WriteBmpFile(locked, PatternImage(3, 3)));
    EXPECT_EQ(ReadFileBytes(locked), earlier);
    std::filesystem::create_directory(dir.File("folder.bmp"));
    EXPECT_FALSE(WriteBmpFile(dir.File("folder.bmp"), PatternImage(3, 3)));
    EXPECT_EQ(FolderNames(dir).size(), 2u);
#ifndef _WIN32
    EXPECT_FALSE(WriteBmpFile("/dev/null", PatternImage(3, 3)));
    EXPECT_FALSE(std::filesystem::exists("/dev/null.tmp"));
#endif
}

TEST_F(BmpFileTest, OddWidthsSurviveAWriteThenReadRoundTrip) {
    for (std::int32_t width : {1, 2, 3, 5, 7, 13}) {
        for (std::int32_t height : {1, 4}) {
            const FrameImage image = PatternImage(width, height);
            const std::string file = dir.File("round.bmp");
            ASSERT_TRUE(WriteBmpFile(file, image));
            FrameImage read;
            std::string error;
            ASSERT_TRUE(ReadBmpFile(file, read, error)) << error;
            EXPECT_EQ(read.width, width);
            EXPECT_EQ(read.height, height);
            EXPECT_EQ(read.pixels, image.pixels) << width << " x " << height;
        }
    }
}

TEST(BmpFileReadTest, TopDownFileIsFlippedIntoBottomUpStorage) {
    FrameImage image;
    std::string error;
    ASSERT_TRUE(ReadBmpFile(DataFile("top_down_3x2.bmp"), image, error)) << error;
    ASSERT_EQ(image.width, 3);
    ASSERT_EQ(image.height, 2);
    // The file's first row is the top of the picture, stored as row 1.
    EXPECT_EQ(image.pixels[3], (Pixel24{0, 100, 200}));
    EXPECT_EQ(image.pixels[5], (Pixel24{2, 102, 200}));
    EXPECT_EQ(image.pixels[0], (Pixel24{16, 100, 201}));
}

TEST(BmpFileReadTest, LargerInformationHeaderIsAccepted) {
    FrameImage image;
    std::string error;
    ASSERT_TRUE(ReadBmpFile(DataFile("v5_header_3x2.bmp"), image, error)) << error;
    ASSERT_EQ(image.pixels.size(), 6u);
    EXPECT_EQ(image.pixels[0], (Pixel24{0, 100, 200}));
    EXPECT_EQ(image.pixels[5], (Pixel24{18, 102, 201}));
}

TEST(BmpFileReadTest, ThirtyTwoBitPaletteAndCoreHeaderLayoutsAreRead) {
    struct Case {
        const char* file;
        std::vector<Pixel24> pixels;  // bottom-up
    };
    const Pixel24 black{0, 0, 0};
    const Pixel24 white{255, 255, 255};
    const Case cases[] = {
        {"argb_32bit.bmp", {{1, 2, 3}}},
        {"core_header.bmp", {{1, 2, 3}}},
        {"palette_8bit.bmp", {black, white, white, black}},
    };
    for (const Case& c : cases) {
        FrameImage image;
        std::string error;
        ASSERT_TRUE(ReadBmpFile(DataFile(c.file), image, error)) << error;
        EXPECT_EQ(image.pixels, c.pixels) << c.file;
    }
}

TEST(BmpFileReadTest, MalformedFilesGiveAOneLineReasonAndAnEmptyImage) {
    struct Case {
        const char* file;
        const char* reason;
    };
    const Case cases[] = {
        {"not_bmp.bmp", "not a BMP file"},
        {"truncated_header.bmp", "truncated BMP file: header is cut off at byte 30"},
        {"truncated_pixels.bmp", "truncated BMP file: pixel data ends at byte 102, file has 74"},
        {"bitfields_24bit.bmp", "unsupported BMP: compression method 3 with 24 bits per pixel"},
        {"zero_width.bmp", "invalid BMP dimensions 0 x 4"},
        {"zero_height.bmp", "invalid BMP dimensions 4 x 0"},
        {"huge_dimensions.bmp", "BMP dimensions 100000 x 2 too large"},
        {"huge_pixel_count.bmp", "BMP dimensions 32768 x 32768 too large"},
        {"min_height.bmp", "BMP dimensions 1 x 2147483648 too large"},
        {"huge_offset.bmp", "truncated BMP file: pixel data ends at byte 4294967284, file has 58"},
        {"offset_inside_header.bmp", "pixel data offset 20 lies inside the header"},
        {"two_planes.bmp", "invalid BMP: 2 planes"},
    };
    for (const Case& c : cases) {
        FrameImage image = PatternImage(2, 2);
        std::string error;
        EXPECT_FALSE(ReadBmpFile(DataFile(c.file), image, error)) << c.file;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.file << ": " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << c.file;
        EXPECT_TRUE(image.pixels.empty()) << c.file;
        EXPECT_EQ(image.width, 0) << c.file;
        EXPECT_EQ(image.height, 0) << c.file;
    }
}

TEST_F(BmpFileTest, MissingFileAndFolderAreNotReadAndNamedInTheReason) {
    FrameImage image;
    std::string error;
    EXPECT_FALSE(ReadBmpFile(dir.Path().string(), image, error));
    EXPECT_EQ(error, "cannot open " + dir.Path().string() + ": not a regular file");
    const std::string absent = dir.File("absent.bmp");
    EXPECT_FALSE(ReadBmpFile(absent, image, error));
    EXPECT_EQ(error.rfind("cannot open " + absent + ": ", 0), 0u) << error;
}

TEST_F(BmpFileTest, EveryCutOfAValidFileIsRejected) {
    const std::string whole = dir.File("whole.bmp");
    ASSERT_TRUE(WriteBmpFile(whole, PatternImage(3, 3)));
    const std::vector<std::uint8_t> bytes = ReadFileBytes(whole);
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        const std::string cut = dir.File("cut.bmp");
        WriteFileBytes(cut, std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + length));
        FrameImage image;
        std::string error;
        EXPECT_FALSE(ReadBmpFile(cut, image, error)) << length << " bytes";
        EXPECT_TRUE(image.pixels.empty());
    }
}

#ifndef _WIN32
TEST_F(BmpFileTest, FifoIsNotReadAndNamedInTheReason) {
    FrameImage image;
    std::string error;
    const std::string fifo = dir.File("fifo.bmp");
    EXPECT_TRUE(ReturnsOnAFifo(fifo, [&] { EXPECT_FALSE(ReadBmpFile(fifo, image, error)); }));
    EXPECT_EQ(error, "cannot open " + fifo + ": not a regular file");
}

// Writes beyond `limit` bytes fail as on a full disk: 0 is a disk already full, 1000 one that
// fills half-way. The write runs in a child process, which alone has the limit.
TEST_F(BmpFileTest, WriteOntoAFullDiskKeepsTheEarlierFileAndLeavesNothingElse) {
    const std::string file = dir.File("snapshot.bmp");
    for (const rlim_t limit : {rlim_t{0}, rlim_t{1000}}) {
        ASSERT_TRUE(WriteBmpFile(file, PatternImage(3, 3)));
        const std::vector<std::uint8_t> earlier = ReadFileBytes(file);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit full{limit, limit};
            setrlimit(RLIMIT_FSIZE, &full);
            _exit(WriteBmpFile(file, PatternImage(64, 64)) ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "limit " << limit;
        EXPECT_EQ(ReadFileBytes(file), earlier) << "limit " << limit;
        EXPECT_EQ(FolderNames(dir), std::vector<std::string>{"snapshot.bmp"}) << "limit " << limit;
    }
}

#endif

}  // namespace
