// "Ravkeler Camera" as another program sees it: RavkelerCamera.dll registered with regsvr32 in the
// test's prefix, ravk.exe publishing the covered Testcard, and Grablet.dll in this process reading
// the camera as its only one, then the still picture once the viewer has ended.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "control_ids.h"
#include "sample_formats.h"
#include "shared_frames.h"
#include "shell/win32/ravk_process.h"
#include "still_picture.h"
#include "support/grablet_module.h"
#include "support/virtual_camera_harness.h"
#include "wide_text.h"

namespace {

constexpr PixelSize SIZE{640, 480};
constexpr std::size_t ROW_BYTES = 3 * 640;
constexpr std::size_t FRAME_BYTES = ROW_BYTES * 480;

// regsvr32 quietly on the camera filter, with options; its exit status.
int Regsvr32(const std::wstring& options) {
    return RunProgram(L"regsvr32.exe /s " + options + L" \"" +
                      Widen(BinFile("RavkelerCamera.dll")) + L"\"");
}

// Registered for the test only: the other tests see no camera but theirs.
struct RegisteredCamera {
    RegisteredCamera() : status(Regsvr32(L"")) {}
    ~RegisteredCamera() { Regsvr32(L"/u"); }
    const int status;
};

// The viewer's shared frames, read as the filter reads them.
struct PublishedFrames {
    PublishedFrames() {
        if (const HANDLE section =
                OpenFileMappingW(FILE_MAP_READ, FALSE, SHARED_FRAMES_SECTION_NAME)) {
            view = MapViewOfFile(section, FILE_MAP_READ, 0, 0, SHARED_FRAMES_BYTES);
            CloseHandle(section);
        }
    }
    ~PublishedFrames() {
        if (view != nullptr) {
            UnmapViewOfFile(view);
        }
    }
    std::span<const std::uint8_t> Block() const {
        return {static_cast<const std::uint8_t*>(view), view != nullptr ? SHARED_FRAMES_BYTES : 0};
    }
    void* view = nullptr;
};

// Which pixels of bottom-up 640 x 480 rows are the mask's pure blue.
std::vector<bool> MaskPixels(const std::uint8_t* rows) {
    std::vector<bool> blue(FRAME_BYTES / 3);
    for (std::size_t i = 0; i < blue.size(); ++i) {
        blue[i] = rows[3 * i] == 255 && rows[3 * i + 1] == 0 && rows[3 * i + 2] == 0;
    }
    return blue;
}

// The share of the pixels blue in either that are blue in both.
double Overlap(const std::vector<bool>& a, const std::vector<bool>& b) {
    std::size_t both = 0;
    std::size_t either = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        both += a[i] && b[i] ? 1 : 0;
        either += a[i] || b[i] ? 1 : 0;
    }
    return either == 0 ? 0.0 : static_cast<double>(both) / static_cast<double>(either);
}

// For a while, each new frame Grablet hands out that is the newest published picture: how long
// after its paint it arrived, in milliseconds.
std::vector<std::int64_t> PaintToReaderDelays(const Grablet& grablet, const PublishedFrames& frames,
                                              std::chrono::milliseconds span) {
    std::vector<std::int64_t> delays;
    std::vector<std::uint8_t> previous = grablet.Frame();
    std::vector<std::uint8_t> published(FRAME_BYTES);
    std::vector<std::uint8_t> bottomUp(FRAME_BYTES);
    const auto end = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < end) {
        std::vector<std::uint8_t> frame = grablet.Frame();
        const std::int64_t now = SharedFramesClockMs();
        SharedFrame newest;
        if (frame != previous &&
            ReadNewestSharedFrame(frames.Block(), published, {}, now, 1000, newest)) {
            CopyRows(bottomUp.data(), ROW_BYTES, published.data(), ROW_BYTES, ROW_BYTES, 480,
                     RowOrder::Flipped);
            if (frame == bottomUp) {
                delays.push_back(now - newest.timeMs);
            }
        }
        previous = std::move(frame);
        Sleep(1);
    }
    return delays;
}

TEST(Win32CameraTest, AnotherProgramSeesTheCoveredPictureThenTheStillPicture) {
    VirtualCameras testCameras;
    ASSERT_TRUE(testCameras.Register(0));
    const RegisteredCamera camera;
    ASSERT_EQ(camera.status, 0);
    RunFolder folder(BinFile("Testcard.dll"), true, "VirtualCamera=1\n");
    RavkProcess ravk(folder);
    const HWND main = MainWindowAt640x480(ravk);
    ASSERT_NE(main, nullptr);
    Click(main, IDC_MASK);
    EXPECT_TRUE(WaitUntil([&] { return IsDlgButtonChecked(main, IDC_MASK) == BST_CHECKED; }));

    // The only camera: Grablet asks for no choice.
    WindowDriver choice(L"デバイスの選択",
                        [](HWND dialog) { PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0); });
    Grablet grablet;
    ASSERT_NE(grablet.onInit(nullptr), 0);
    EXPECT_FALSE(choice.Found());
    ASSERT_EQ(grablet.Resolution(), (Size{SIZE.width, SIZE.height}));

    // The covered picture: where the viewer's own snapshot shows the mask, and Testcard's raw
    // frame has no such blue.
    SaveSnapshotPair(main, folder.Path());
    const std::vector<std::uint8_t> grabbed = grablet.DeliveredFrame();
    const std::vector<std::uint8_t> shown = ReadFileBytes(folder.File("capture_ravk.bmp"));
    const std::vector<std::uint8_t> raw = ReadFileBytes(folder.File("capture_original.bmp"));
    ASSERT_EQ(shown.size(), 54 + FRAME_BYTES);
    ASSERT_EQ(raw.size(), 54 + FRAME_BYTES);
    const std::vector<bool> mask = MaskPixels(shown.data() + 54);
    EXPECT_GT(std::count(mask.begin(), mask.end(), true), 2000);
    EXPECT_EQ(std::ranges::count(MaskPixels(raw.data() + 54), true), 0);
    EXPECT_GT(Overlap(MaskPixels(grabbed.data()), mask), 0.7);

    // Frames keep coming, each the newest published picture.
    const PublishedFrames frames;
    const std::vector<std::int64_t> delays =
        PaintToReaderDelays(grablet, frames, std::chrono::seconds(3));
    EXPECT_GT(delays.size(), 20u);
    std::vector<std::int64_t> sorted = delays;
    std::sort(sorted.begin(), sorted.end());
    if (!sorted.empty()) {
        std::printf("paint to reader: %zu frames, median %lld ms, slowest %lld ms\n", sorted.size(),
                    static_cast<long long>(sorted[sorted.size() / 2]),
                    static_cast<long long>(sorted.back()));
        EXPECT_LT(sorted[sorted.size() / 2], 200);
    }

    // Once the viewer has ended, the emblem.
    Click(main, IDC_EXIT);
    EXPECT_EQ(ravk.WaitForExit(), 1);
    const std::vector<std::uint8_t> still = DrawStillPicture(SIZE);
    std::vector<std::uint8_t> expected(FRAME_BYTES);  // bottom-up rows, as Grablet hands them out
    ConvertPicture({still.data(), SIZE.width, SIZE.height, static_cast<std::int32_t>(ROW_BYTES)},
                   {SampleKind::Rgb24, SIZE}, expected);
    EXPECT_TRUE(WaitUntil([&] { return grablet.Frame() == expected; }, std::chrono::seconds(3)));
    EXPECT_TRUE(grablet.Destroy());
}

}  // namespace
