// Grablet.dll under Wine over our virtual cameras, through its seven exports: the device choice
// and its dialog, frames against the cameras' pattern, sizes the camera takes or refuses, the
// option dialog with the camera's property pages, and the release of every camera object at
// destroy.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>  // after windows.h

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "plugin_control_ids.h"
#include "support/grablet_module.h"
#include "support/virtual_camera_harness.h"
#include "support/virtual_camera_pages.h"
#include "vq_plugin.h"

namespace {

// Which camera drew frame (packed, bottom-up, of size), by the pattern of virtual_camera.h;
// none when the frame is not a pattern frame.
std::optional<int> PatternOf(const std::vector<std::uint8_t>& frame, Size size) {
    if (frame.size() != static_cast<std::size_t>(size.width) * size.height * 3) {
        return std::nullopt;
    }
    const std::uint8_t n = frame[2];
    // Packed row j holds picture row height - 1 - j.
    const int camera = static_cast<std::uint8_t>(frame[1] - (size.height - 1)) / 40;
    for (std::int32_t j = 0; j < size.height; ++j) {
        const std::int32_t y = size.height - 1 - j;
        for (std::int32_t x = 0; x < size.width; ++x) {
            const std::uint8_t* pixel = &frame[(static_cast<std::size_t>(j) * size.width + x) * 3];
            if (pixel[0] != static_cast<std::uint8_t>(x + n) ||
                pixel[1] != static_cast<std::uint8_t>(y + 40 * camera) || pixel[2] != n) {
                return std::nullopt;
            }
        }
    }
    return camera;
}

std::wstring ItemText(HWND list, int item, int column) {
    wchar_t text[128] = {};
    LVITEMW request{};
    request.iSubItem = column;
    request.pszText = text;
    request.cchTextMax = 128;
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(item),
                 reinterpret_cast<LPARAM>(&request));
    return text;
}

std::vector<std::wstring> ListBoxItems(HWND list) {
    std::vector<std::wstring> items;
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t text[128] = {};
        SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        items.emplace_back(text);
    }
    return items;
}

std::wstring WindowText(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

// A window search: the window that fits, filled in by VisitWindow.
struct WindowSearch {
    const std::function<bool(HWND)>& fits;
    HWND found = nullptr;
};

BOOL CALLBACK VisitWindow(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<WindowSearch*>(data);
    if (search->fits(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// A window anywhere inside parent with control id id; none when there is none.
HWND Descendant(HWND parent, int id) {
    const std::function<bool(HWND)> fits = [id](HWND child) { return GetDlgCtrlID(child) == id; };
    WindowSearch search{fits};
    EnumChildWindows(parent, VisitWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Waits up to ten seconds for a visible top-level window of this process that fits; none when
// none shows.
template <typename Fits>
HWND WaitForWindow(Fits fits) {
    const std::function<bool(HWND)> ours = [&fits](HWND window) {
        DWORD process = 0;
        return IsWindowVisible(window) && GetWindowThreadProcessId(window, &process) != 0 &&
               process == GetCurrentProcessId() && fits(window);
    };
    WindowSearch search{ours};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (search.found == nullptr && std::chrono::steady_clock::now() < deadline) {
        EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&search));
        Sleep(20);
    }
    return search.found;
}

// Presses the frame's OK and waits up to ten seconds for it to close.
bool CloseWithOk(HWND frame) {
    PostMessageW(GetDlgItem(frame, IDOK), BM_CLICK, 0, 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (IsWindow(frame)) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        Sleep(20);
    }
    return true;
}

void PressEscape(HWND dialog) {
    PostMessageW(GetFocus() != nullptr ? GetFocus() : dialog, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

enum class Choice { None, Ok, DoubleClickSecond, Escape };

struct ChoiceCase {
    const char* name;
    int cameras;
    Choice choice;
    bool started;
    int pattern;  // of the camera that runs
};

class GrabletDshowChoiceTest : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(GrabletDshowChoiceTest, CamerasAreListedChosenAndBound) {
    const ChoiceCase& c = GetParam();
    VirtualCameras cameras;
    ASSERT_TRUE(cameras.Register(c.cameras));
    std::vector<std::wstring> listed;
    LRESULT preselected = -2;
    WindowDriver driver(L"デバイスの選択", [&](HWND dialog) {
        const HWND list = GetDlgItem(dialog, IDC_DEVICE_LIST);
        listed = ListBoxItems(list);
        preselected = SendMessageW(list, LB_GETCURSEL, 0, 0);
        switch (c.choice) {
            case Choice::Ok:
                SendMessageW(GetDlgItem(dialog, IDC_GRABLET_OK), BM_CLICK, 0, 0);
                break;
            case Choice::DoubleClickSecond:
                SendMessageW(list, LB_SETCURSEL, 1, 0);
                SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_DEVICE_LIST, LBN_DBLCLK),
                             reinterpret_cast<LPARAM>(list));
                break;
            case Choice::Escape:
            case Choice::None:
                PressEscape(dialog);
                break;
        }
    });
    {
        Grablet grablet;
        ASSERT_NE(grablet.onInit, nullptr);
        EXPECT_EQ(grablet.onInit(nullptr) != 0, c.started);
        EXPECT_EQ(driver.Found(), c.cameras >= 2);
        if (c.cameras >= 2) {
            std::vector<std::wstring> names;
            for (int i = 0; i < c.cameras; ++i) {
                names.push_back(L"仮想カメラ " + std::to_wstring(i + 1));
            }
            EXPECT_EQ(listed, names);
            EXPECT_EQ(preselected, 0);
        }
        if (c.started) {
            EXPECT_EQ(grablet.Resolution(), (Size{640, 480}));
            EXPECT_EQ(PatternOf(grablet.DeliveredFrame(), grablet.Resolution()), c.pattern);
        } else {
            EXPECT_EQ(grablet.Resolution(), (Size{0, 0}));
        }
        EXPECT_TRUE(grablet.Destroy());
    }
    EXPECT_EQ(cameras.LiveObjects(), 0) << "every camera object is released at destroy";
}

INSTANTIATE_TEST_SUITE_P(
    Grablet, GrabletDshowChoiceTest,
    ::testing::Values(ChoiceCase{"NoCamera", 0, Choice::None, false, 0},
                      ChoiceCase{"OneCameraWithoutDialog", 1, Choice::None, true, 0},
                      ChoiceCase{"OkTakesTheFirst", 2, Choice::Ok, true, 0},
                      ChoiceCase{"DoubleClickTakesTheSecond", 3, Choice::DoubleClickSecond, true,
                                 1},
                      ChoiceCase{"EscapeCancels", 2, Choice::Escape, false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

class GrabletDshowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(cameras.Register(1));
        ASSERT_NE(grablet.onInit, nullptr);
        ASSERT_NE(grablet.onInit(nullptr), 0);
    }

    VirtualCameras cameras;
    Grablet grablet;
};

TEST_F(GrabletDshowTest, FramesFollowTheSizesTheCameraTakes) {
    const struct {
        Size request;
        bool accepted;
        Size inForce;
    } steps[] = {{{321, 240}, true, {321, 240}},  // rows of an odd byte count
                 {{800, 600}, false, {321, 240}},
                 {{640, 480}, true, {640, 480}},
                 {{640, 480}, true, {640, 480}}};
    EXPECT_EQ(PatternOf(grablet.DeliveredFrame(), grablet.Resolution()), 0);
    for (const auto& step : steps) {
        SCOPED_TRACE(std::to_string(step.request.width) + "x" +
                     std::to_string(step.request.height));
        EXPECT_EQ(grablet.setResolution(step.request.width, step.request.height) != 0,
                  step.accepted);
        ASSERT_EQ(grablet.Resolution(), step.inForce);
        EXPECT_EQ(grablet.capture(nullptr), step.inForce.width * step.inForce.height * 3);
        EXPECT_EQ(PatternOf(grablet.DeliveredFrame(), step.inForce), 0);
    }
}

TEST_F(GrabletDshowTest, OptionDialogOpensTheCameraPagesAndAdoptsTheSizePicked) {
    std::vector<std::wstring> rows;
    // The device pages, while they are open.
    std::wstring deviceCaption, devicePageText;
    std::optional<int> patternWhileOpen;
    int framesWhileOpen = -1;  // frame numbers apart in half a second
    bool deviceClosed = false;
    // The format page.
    std::vector<std::wstring> sizes;
    LRESULT sizeInForce = -2;
    bool formatClosed = false;
    WindowDriver driver(L"Grablet オプション", [&](HWND dialog) {
        const HWND table = GetDlgItem(dialog, IDC_OPTION_TABLE);
        for (int row = 0; row < 3; ++row) {
            rows.push_back(ItemText(table, row, 0) + L"=" + ItemText(table, row, 1));
        }
        // Posted: the frames are modal on the dialog's thread, which this one goes on driving.
        PostMessageW(GetDlgItem(dialog, IDC_INPUT_SETTINGS), BM_CLICK, 0, 0);
        if (const HWND frame = WaitForWindow([](HWND window) {
                return WindowText(window).find(L"Video Capture") != std::wstring::npos;
            })) {
            deviceCaption = WindowText(frame);
            devicePageText = WindowText(Descendant(frame, IDC_VIRTUAL_CAMERA_DEVICE_TEXT));
            const std::vector<std::uint8_t> first = grablet.DeliveredFrame();
            Sleep(500);
            const std::vector<std::uint8_t> second = grablet.DeliveredFrame();
            patternWhileOpen = PatternOf(second, Size{640, 480});
            framesWhileOpen = static_cast<std::uint8_t>(second[2] - first[2]);
            deviceClosed = CloseWithOk(frame);
        }
        PostMessageW(GetDlgItem(dialog, IDC_SOURCE_SETTINGS), BM_CLICK, 0, 0);
        if (const HWND frame = WaitForWindow([](HWND window) {
                return Descendant(window, IDC_VIRTUAL_CAMERA_SIZE_LIST) != nullptr;
            })) {
            const HWND list = Descendant(frame, IDC_VIRTUAL_CAMERA_SIZE_LIST);
            sizes = ListBoxItems(list);
            sizeInForce = SendMessageW(list, LB_GETCURSEL, 0, 0);
            SendMessageW(list, LB_SETCURSEL, 1, 0);
            SendMessageW(GetParent(list), WM_COMMAND,
                         MAKEWPARAM(IDC_VIRTUAL_CAMERA_SIZE_LIST, LBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(list));
            formatClosed = CloseWithOk(frame);
        }
        PressEscape(dialog);
    });
    EXPECT_NE(grablet.doModalOptionDlg(), 0);
    EXPECT_TRUE(driver.Found());
    EXPECT_EQ(rows,
              (std::vector<std::wstring>{L"デバイス名=仮想カメラ 1", L"幅=640", L"高さ=480"}));

    EXPECT_NE(deviceCaption.find(L"Video Capture"), std::wstring::npos) << "no device frame";
    EXPECT_EQ(devicePageText, L"Virtual camera: no settings");
    EXPECT_EQ(patternWhileOpen, 0);
    EXPECT_GT(framesWhileOpen, 0) << "frames flow while the device pages are open";
    EXPECT_TRUE(deviceClosed);

    EXPECT_EQ(sizes, (std::vector<std::wstring>{L"640 x 480", L"320 x 240", L"321 x 240",
                                                L"720 x 480", L"160 x 120"}));
    EXPECT_EQ(sizeInForce, 0);
    EXPECT_TRUE(formatClosed);
    ASSERT_EQ(grablet.Resolution(), (Size{320, 240})) << "the size picked on the format page";
    EXPECT_EQ(grablet.capture(nullptr), 320 * 240 * 3);
    EXPECT_EQ(PatternOf(grablet.DeliveredFrame(), Size{320, 240}), 0)
        << "the flow runs again at the new size";
    EXPECT_TRUE(grablet.Destroy());
    EXPECT_EQ(cameras.LiveObjects(), 0) << "filter, pins and pages all released";
}

}  // namespace
