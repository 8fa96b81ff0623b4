// ravk.exe under Wine as a person uses it: start-up failures, the resolution prompt, the live
// picture and a toggle, Shift + "&Capture", a recording through the compressor dialog, "E&XIT".
#include <windows.h>
// after windows.h, whose types it uses
#include <vfw.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "control_ids.h"
#include "overlay_sprite.h"
#include "presentation.h"
#include "shell/win32/ravk_process.h"
#include "support/fixed_scene.h"
#include "support/virtual_camera_harness.h"
#include "wide_text.h"

namespace {

// Asked of the control itself (WM_GETTEXT): GetWindowTextW does not ask another process's edits.
std::wstring ItemText(HWND dialog, int id) {
    wchar_t text[1024] = {};
    GetDlgItemTextW(dialog, id, text, static_cast<int>(std::size(text)));
    return text;
}

std::set<std::uint32_t> Colours(const Screenshot& shot) {
    return {shot.pixels.begin(), shot.pixels.end()};
}

int CountDark(const Screenshot& shot) {
    int count = 0;
    for (const std::uint32_t pixel : shot.pixels) {
        const int grey = ((pixel >> 16 & 0xFF) + (pixel >> 8 & 0xFF) + (pixel & 0xFF)) / 3;
        count += grey < 96 ? 1 : 0;
    }
    return count;
}

// Pixels in an opaque colour of the overlay pictures that the scene before did not show.
int CountOverlayPixels(const Screenshot& shot, const Screenshot& before) {
    OverlayTable overlays;
    std::string failed;
    EXPECT_TRUE(LoadOverlaySprites(overlays, failed, BinFile("images"))) << failed;
    std::set<std::uint32_t> colours;
    for (const OverlaySprite& sprite : overlays) {
        for (std::size_t i = 0; i < sprite.pixels.size(); ++i) {
            if (sprite.mask[i] == 0) {
                const Pixel24& p = sprite.pixels[i];
                colours.insert(static_cast<std::uint32_t>(p.red << 16 | p.green << 8 | p.blue));
            }
        }
    }
    const std::set<std::uint32_t> scene = Colours(before);
    int count = 0;
    for (const std::uint32_t pixel : shot.pixels) {
        count += colours.count(pixel) != 0 && scene.count(pixel) == 0 ? 1 : 0;
    }
    return count;
}

// The Testcard's sky is lighter at the top: the mean blue of the top ten rows of the left edge
// against the bottom ten, in a 640 x 480 picture stored bottom-up with 1920-byte rows.
bool SkyIsOnTop(const std::uint8_t* bottomUpRows) {
    auto meanBlue = [&](int firstPictureRow) {
        int sum = 0;
        for (int r = firstPictureRow; r < firstPictureRow + 10; ++r) {
            for (int x = 0; x < 20; ++x) {
                sum += bottomUpRows[static_cast<std::size_t>((479 - r) * 1920 + 3 * x)];
            }
        }
        return sum / 200;
    };
    return meanBlue(0) > meanBlue(470) + 30;
}

void ExpectSnapshotFile(const std::vector<std::uint8_t>& bmp) {
    ASSERT_EQ(bmp.size(), 54u + 1920u * 480u);
    EXPECT_EQ(Le16At(bmp, 0), 0x4D42);  // "BM"
    EXPECT_EQ(Le32At(bmp, 2), bmp.size());
    EXPECT_EQ(Le32At(bmp, 10), 54u);
    EXPECT_EQ(Le32At(bmp, 14), 40u);
    EXPECT_EQ(Le32At(bmp, 18), 640u);
    EXPECT_EQ(Le32At(bmp, 22), 480u);
    EXPECT_EQ(Le16At(bmp, 28), 24);
}

TEST(Win32ViewerTest, EachStartUpFailureShowsItsMessageWithOwnerAndCaptionThenEnds) {
    struct Case {
        std::string plugin;
        bool withoutOverlayFrame12;
        bool choose720x480;
        std::wstring text;
        std::wstring caption;
        bool ownedByMainWindow;
    };
    std::string e600;
    for (int i = 0; i < 600; ++i) {
        e600 += "é";
    }
    const Case cases[] = {
        {BinFile("test_plugin.dll"), true, false,
         L"画像ファイル images\\warai0012.bmp が読み込めませんでした．", L"Error", true},
        {BinFile("does_not_exist.dll"), false, false, L"DLL を読み込めませんでした", L"", false},
        {BinFile("test_plugin_init_fails.dll"), false, false, L"DLL を初期化できませんでした", L"",
         false},
        {BinFile("test_plugin_set_resolution_fails.dll"), false, true,
         L"カメラの解像度を 720x480 に設定できませんでした", L"", false},
        // Longer than the 1023 bytes kept, and not UTF-8: names that no file has.
        {e600, false, false, L"DLL を読み込めませんでした", L"", false},
        {"\x82\xA0\xFF\xFE.dll", false, false, L"DLL を読み込めませんでした", L"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.plugin);
        RunFolder folder(c.plugin);
        if (c.withoutOverlayFrame12) {
            // Named although ravk.exe has a whole set beside it: sets are never mixed.
            std::filesystem::remove(folder.Path() / "images" / "warai0012.bmp");
        }
        RavkProcess ravk(folder);
        if (c.choose720x480) {
            const HWND resolution = ravk.WaitForTitle(L"Resolution Setting");
            ASSERT_NE(resolution, nullptr);
            Click(resolution, IDC_RESOLUTION_720X480);
            EXPECT_TRUE(WaitUntil([&] {
                return IsDlgButtonChecked(resolution, IDC_RESOLUTION_720X480) == BST_CHECKED;
            }));
            Click(resolution, DIALOG_OK);
        }
        const HWND box = ravk.WaitForWindow(
            [&](HWND w) { return ClassName(w) == L"#32770" && Title(w) == c.caption; });
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(ItemText(box, 0xFFFF), c.text);
        const HWND owner = GetWindow(box, GW_OWNER);
        if (c.ownedByMainWindow) {
            EXPECT_EQ(Title(owner), L"Ravkeler");
            EXPECT_FALSE(IsWindowVisible(owner));
        } else {
            EXPECT_EQ(owner, nullptr);
        }
        Click(box, IDOK);
        EXPECT_EQ(ravk.WaitForExit(), 1);
    }
}

TEST(Win32ViewerTest, ThePictureATogglesSnapshotAndClipOfTheTestcardAsAPersonSeesThem) {
    RunFolder folder(BinFile("Testcard.dll"), false);  // the overlay from beside ravk.exe
    RavkProcess ravk(folder);

    const HWND resolution = ravk.WaitForTitle(L"Resolution Setting");
    ASSERT_NE(resolution, nullptr);
    const HWND prompt = FindWindowExW(resolution, nullptr, L"Static", nullptr);
    EXPECT_EQ(Title(prompt),
              L"解像度を選んでください．\n"
              L"但し，キャプチャデバイスによっては対応していない解像度もあります．\n"
              L"試行錯誤でうまくいく解像度を探してください :-)");
    EXPECT_EQ(IsDlgButtonChecked(resolution, IDC_RESOLUTION_640X480), BST_CHECKED);
    Sleep(300);
    RECT rect;
    GetClientRect(resolution, &rect);
    TakeScreenshot(resolution, rect, "resolution_dialog.bmp");
    GetClientRect(prompt, &rect);
    EXPECT_GT(CountDark(TakeScreenshot(prompt, rect, "resolution_prompt.bmp")), 500);
    Click(resolution, DIALOG_OK);

    const HWND main = ravk.WaitForWindow([](HWND w) { return Title(w).starts_with(L"Ravkeler"); });
    ASSERT_NE(main, nullptr);
    RECT client;
    GetClientRect(main, &client);
    EXPECT_GE(client.right, PICTURE_AREA.right + PICTURE_AREA.left);
    EXPECT_GE(client.bottom, PICTURE_AREA.bottom + PICTURE_AREA.left);
    std::wstring title;
    EXPECT_TRUE(WaitUntil([&] { return (title = Title(main)).starts_with(L"Ravkeler / FPS = "); }));
    EXPECT_GT(std::stod(title.substr(17)), 5.0);

    const RECT picture{PICTURE_AREA.left, PICTURE_AREA.top, PICTURE_AREA.right,
                       PICTURE_AREA.bottom};
    const Screenshot scene = TakeScreenshot(main, picture, "testcard.bmp");
    EXPECT_GT(Colours(scene).size(), 20u);
    Click(main, IDC_INTERCEPTER);
    EXPECT_TRUE(
        WaitUntil([&] { return IsDlgButtonChecked(main, IDC_INTERCEPTER) == BST_CHECKED; }));
    Sleep(500);
    EXPECT_GT(CountOverlayPixels(TakeScreenshot(main, picture, "testcard_overlay.bmp"), scene),
              2000);
    TakeScreenshot(main, client, "viewer_window.bmp");

    SaveSnapshotPair(main, folder.Path());
    ExpectSnapshotFile(ReadFileBytes(folder.File("capture_original.bmp")));
    const std::vector<std::uint8_t> shown = ReadFileBytes(folder.File("capture_ravk.bmp"));
    ASSERT_NO_FATAL_FAILURE(ExpectSnapshotFile(shown));
    EXPECT_TRUE(SkyIsOnTop(shown.data() + 54));

    // "&Capture" once Shift is up: 3 fps is raised to 5, a length that is no number becomes 5 s.
    Sleep(500);
    Click(main, IDC_CAPTURE);
    const HWND settings = ravk.WaitForTitle(L"Capture Settings");
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(ItemText(settings, IDC_RECORD_FPS), L"15");
    EXPECT_EQ(ItemText(settings, IDC_RECORD_SECONDS), L"5");
    SetDlgItemTextW(settings, IDC_RECORD_FPS, L"3");
    SetDlgItemTextW(settings, IDC_RECORD_SECONDS, L"five");
    Sleep(300);
    GetClientRect(settings, &rect);
    TakeScreenshot(settings, rect, "capture_settings.bmp");
    Click(settings, DIALOG_OK);

    // The system's compressor dialog, owned by the main window, with the uncompressed choice
    // preselected.
    const HWND compressor = ravk.WaitForTitle(L"Video Compression");
    ASSERT_NE(compressor, nullptr);
    EXPECT_EQ(GetWindow(compressor, GW_OWNER), main);
    EXPECT_TRUE(
        WaitUntil([&] { return Title(main).starts_with(L"[CAPTURING] Ravkeler / FPS = "); }));
    GetClientRect(compressor, &rect);
    TakeScreenshot(compressor, rect, "compressor_dialog.bmp");
    Click(compressor, IDOK);
    EXPECT_TRUE(WaitUntil([&] { return Title(main).starts_with(L"Ravkeler / FPS = "); }));

    Click(main, IDC_EXIT);
    EXPECT_EQ(ravk.WaitForExit(), 1);
    EXPECT_EQ(ravk.Output().find("AviCreater: "), std::string::npos) << ravk.Output();

    AVIFileInit();
    PAVIFILE file = nullptr;
    ASSERT_EQ(AVIFileOpenW(&file, Widen(folder.File("capture.avi")).c_str(), OF_READ, nullptr),
              AVIERR_OK);
    PAVISTREAM stream = nullptr;
    ASSERT_EQ(AVIFileGetStream(file, &stream, streamtypeVIDEO, 0), AVIERR_OK);
    AVISTREAMINFOW info{};
    AVIStreamInfoW(stream, &info, sizeof info);
    EXPECT_EQ(AVIStreamLength(stream), 25);
    EXPECT_EQ(info.dwLength, 25u);
    EXPECT_EQ(info.dwRate / info.dwScale, 5u);
    EXPECT_STREQ(info.szName, L"Video #1");
    EXPECT_EQ(info.rcFrame.right - info.rcFrame.left, 640);
    EXPECT_EQ(info.rcFrame.bottom - info.rcFrame.top, 480);
    BITMAPINFOHEADER format{};
    LONG formatBytes = sizeof format;
    AVIStreamReadFormat(stream, 0, &format, &formatBytes);
    EXPECT_EQ(format.biWidth, 640);
    EXPECT_EQ(format.biHeight, 480);
    EXPECT_EQ(format.biBitCount, 24);
    std::vector<std::uint8_t> frame(1920u * 480u);
    LONG bytes = 0;
    EXPECT_EQ(
        AVIStreamRead(stream, 0, 1, frame.data(), static_cast<LONG>(frame.size()), &bytes, nullptr),
        AVIERR_OK);
    EXPECT_EQ(bytes, static_cast<LONG>(frame.size()));
    EXPECT_TRUE(SkyIsOnTop(frame.data()));
    AVIStreamRelease(stream);
    AVIFileRelease(file);
    AVIFileExit();
}

TEST(Win32ViewerTest, ACompressorThatFailsKeepsTheEarlierClipAndSaysSo) {
    RunFolder folder(BinFile("Testcard.dll"));
    const std::vector<std::uint8_t> earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};
    WriteFileBytes(folder.File("capture.avi"), earlier);
    RavkProcess ravk(folder);
    const HWND main = MainWindowAt640x480(ravk);
    ASSERT_NE(main, nullptr);
    Click(main, IDC_CAPTURE);
    const HWND settings = ravk.WaitForTitle(L"Capture Settings");
    ASSERT_NE(settings, nullptr);
    Click(settings, DIALOG_OK);
    const HWND compressor = ravk.WaitForTitle(L"Video Compression");
    ASSERT_NE(compressor, nullptr);
    // The last compressor offered after "Full Frames", chosen as a person does in the list.
    const HWND list = FindWindowExW(compressor, nullptr, L"ComboBox", nullptr);
    const LRESULT count = SendMessageW(list, CB_GETCOUNT, 0, 0);
    ASSERT_GT(count, 1);
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(count - 1), 0);
    SendMessageW(compressor, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
    Click(compressor, IDOK);
    EXPECT_TRUE(WaitUntil([&] { return ravk.Output().ends_with("END AviCreater\n"); }));
    Click(main, IDC_EXIT);
    EXPECT_EQ(ravk.WaitForExit(), 1);
    EXPECT_EQ(ReadFileBytes(folder.File("capture.avi")), earlier);
    EXPECT_FALSE(std::filesystem::exists(folder.File("capture.tmp.avi")));
    EXPECT_NE(ravk.Output().find("; capture.avi is unchanged\nEND AviCreater\n"), std::string::npos)
        << ravk.Output();
}

TEST(Win32ViewerTest, FixedSceneWithMaskAndBoxIsSavedAsTheSameFileAsOnLinux) {
    RunFolder folder(BinFile("test_plugin_fixed_scene.dll"));
    RavkProcess ravk(folder);
    const HWND main = MainWindowAt640x480(ravk);
    ASSERT_NE(main, nullptr);
    Click(main, IDC_MASK);
    Click(main, IDC_BOX);
    EXPECT_TRUE(WaitUntil([&] { return IsDlgButtonChecked(main, IDC_BOX) == BST_CHECKED; }));
    Sleep(300);  // a few ticks and paints
    SaveSnapshotPair(main, folder.Path());
    EXPECT_EQ(Fnv1aDigest(ReadFileBytes(folder.File("capture_ravk.bmp"))),
              FIXED_SCENE_MASK_BOX_SNAPSHOT_DIGEST);
    Click(main, IDC_EXIT);
    EXPECT_EQ(ravk.WaitForExit(), 1);
}

TEST(Win32ViewerTest, WithGrabletAndAVirtualCameraTheSnapshotShowsTheCamerasPicture) {
    VirtualCameras cameras;
    ASSERT_TRUE(cameras.Register(1));
    RunFolder folder(BinFile("Grablet.dll"));
    RavkProcess ravk(folder);
    const HWND main = MainWindowAt640x480(ravk);  // one camera: no choice
    ASSERT_NE(main, nullptr);
    Sleep(500);  // frames flowing
    SaveSnapshotPair(main, folder.Path());
    Click(main, IDC_EXIT);
    EXPECT_EQ(ravk.WaitForExit(), 1);

    // Camera 0's frame n: blue = x + n, green = picture row y, red = n (each mod 256), stored
    // bottom-up as the plug-in delivers it.
    const std::vector<std::uint8_t> original = ReadFileBytes(folder.File("capture_original.bmp"));
    ASSERT_EQ(original.size(), 54u + 1920u * 480u);
    for (const int y : {0, 100, 479}) {
        for (const int x : {0, 17, 639}) {
            const std::uint8_t* p = original.data() + 54 + (479 - y) * 1920 + 3 * x;
            EXPECT_EQ(p[1], y % 256) << x << ", " << y;
            EXPECT_EQ(static_cast<std::uint8_t>(p[0] - p[2]), x % 256) << x << ", " << y;
        }
    }
}

}  // namespace
