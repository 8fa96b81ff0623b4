// The contract every capture plug-in of ours passes, run on each plug-in file through its exports
// alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#ifdef RAVK_WITH_GRABLET
#include "support/fake_camera.h"
#endif
#ifdef RAVK_WITH_GRABLET_DLL
#include "support/virtual_camera_harness.h"
#endif
#include "shared_library.h"
#include "support/test_plugin_harness.h"
#include "vq_plugin.h"

namespace {

struct Size {
    std::int32_t width;
    std::int32_t height;
};

struct PluginUnderTest {
    const char* file;  // in the bin folder, without the platform's suffix
    const char* displayName;
    std::vector<Size> accepted;
    std::vector<Size> refused;  // besides the sizes every plug-in refuses
    // Whether a capture right after a size change shows the zero-filled frame; a source that
    // paints by the clock may already have painted.
    bool blackRightAfterSizeChange;
};

const std::vector<Size> ALWAYS_REFUSED{{0, 0},      {0, 480},    {640, 0},
                                       {-320, 240}, {320, -240}, {100000, 100000}};
constexpr std::uint8_t CANARY = 0x5A;

struct Exports {
    VQ_GetDllNameFunc getDllName;
    VQ_OnInitFunc onInit;
    VQ_SetResolutionFunc setResolution;
    VQ_GetResolutionFunc getResolution;
    VQ_CaptureFunc capture;
    VQ_DoModalOptionDlgFunc doModalOptionDlg;
    VQ_OnDestroyFunc onDestroy;
};

template <typename F>
F Lookup(const SharedLibrary& library, const char* name) {
    return reinterpret_cast<F>(library.Symbol(name));
}

class PluginContractTest : public ::testing::TestWithParam<PluginUnderTest> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(
            library.Load(std::string(RAVK_BIN_DIR) + "/" + GetParam().file + PLUGIN_SUFFIX));
        vq = {Lookup<VQ_GetDllNameFunc>(library, "VQ_GetDllName"),
              Lookup<VQ_OnInitFunc>(library, "VQ_OnInit"),
              Lookup<VQ_SetResolutionFunc>(library, "VQ_SetResolution"),
              Lookup<VQ_GetResolutionFunc>(library, "VQ_GetResolution"),
              Lookup<VQ_CaptureFunc>(library, "VQ_Capture"),
              Lookup<VQ_DoModalOptionDlgFunc>(library, "VQ_DoModalOptionDlg"),
              Lookup<VQ_OnDestroyFunc>(library, "VQ_OnDestroy")};
        ASSERT_TRUE(vq.getDllName && vq.onInit && vq.setResolution && vq.getResolution &&
                    vq.capture && vq.doModalOptionDlg && vq.onDestroy)
            << "every export is present";
    }

    Size Resolution() {
        Size size{-1, -1};
        EXPECT_NE(vq.getResolution(&size.width, &size.height), 0);
        return size;
    }

    // Captures with a buffer one canary row longer than the frame; checks the count against the
    // size, the count without a buffer, and that nothing is written past the frame.
    std::vector<std::uint8_t> CaptureChecked() {
        const Size size = Resolution();
        const std::int32_t count = vq.capture(nullptr);
        EXPECT_EQ(count, size.width * size.height * 3);
        std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::max(count, 0)) + 64, CANARY);
        EXPECT_EQ(vq.capture(buffer.data()), count);
        EXPECT_TRUE(std::all_of(buffer.end() - 64, buffer.end(), [](std::uint8_t b) {
            return b == CANARY;
        })) << "written past the frame";
        buffer.resize(buffer.size() - 64);
        return buffer;
    }

    SharedLibrary library;
    Exports vq{};
};

TEST_P(PluginContractTest, NameSizeIsTheSameWithAndWithoutBuffer) {
    const std::string name = GetParam().displayName;
    const std::int32_t size = vq.getDllName(nullptr);
    ASSERT_EQ(size, static_cast<std::int32_t>(name.size() + 1));
    std::vector<char> buffer(static_cast<std::size_t>(size) + 8, static_cast<char>(CANARY));
    EXPECT_EQ(vq.getDllName(buffer.data()), size);
    EXPECT_EQ(std::string(buffer.data()), name);
    EXPECT_TRUE(std::all_of(buffer.begin() + size, buffer.end(),
                            [](char c) { return c == static_cast<char>(CANARY); }));
}

TEST_P(PluginContractTest, BeforeInitThereIsNothingToCaptureOrResize) {
    const Size size = Resolution();
    EXPECT_EQ(size.width, 0);
    EXPECT_EQ(size.height, 0);
    std::uint8_t buffer[16];
    std::memset(buffer, CANARY, sizeof buffer);
    EXPECT_EQ(vq.capture(nullptr), 0);
    EXPECT_EQ(vq.capture(buffer), 0);
    EXPECT_TRUE(std::all_of(std::begin(buffer), std::end(buffer),
                            [](std::uint8_t b) { return b == CANARY; }));
    EXPECT_EQ(vq.setResolution(320, 240), 0);
    EXPECT_NE(vq.onDestroy(), 0) << "destroy without init";
}

TEST_P(PluginContractTest, RunningFramesMatchTheReportedSize) {
    ASSERT_NE(vq.onInit(nullptr), 0);
    const Size start = Resolution();
    EXPECT_GT(start.width, 0);
    EXPECT_GT(start.height, 0);
    CaptureChecked();
    EXPECT_NE(vq.doModalOptionDlg(), 0);
    CaptureChecked();
    EXPECT_NE(vq.onDestroy(), 0);
}

TEST_P(PluginContractTest, AcceptedSizesTakeEffect) {
    ASSERT_NE(vq.onInit(nullptr), 0);
    for (const Size& size : GetParam().accepted) {
        SCOPED_TRACE(std::to_string(size.width) + " x " + std::to_string(size.height));
        ASSERT_NE(vq.setResolution(size.width, size.height), 0);
        const Size now = Resolution();
        EXPECT_EQ(now.width, size.width);
        EXPECT_EQ(now.height, size.height);
        const std::vector<std::uint8_t> frame = CaptureChecked();
        if (GetParam().blackRightAfterSizeChange) {
            EXPECT_TRUE(
                std::all_of(frame.begin(), frame.end(), [](std::uint8_t b) { return b == 0; }));
        }
    }
    EXPECT_NE(vq.onDestroy(), 0);
}

TEST_P(PluginContractTest, RefusedSizesChangeNothing) {
    ASSERT_NE(vq.onInit(nullptr), 0);
    const Size start = Resolution();
    std::vector<Size> refused = ALWAYS_REFUSED;
    refused.insert(refused.end(), GetParam().refused.begin(), GetParam().refused.end());
    for (const Size& size : refused) {
        SCOPED_TRACE(std::to_string(size.width) + " x " + std::to_string(size.height));
        EXPECT_EQ(vq.setResolution(size.width, size.height), 0);
        const Size now = Resolution();
        EXPECT_EQ(now.width, start.width);
        EXPECT_EQ(now.height, start.height);
        EXPECT_EQ(vq.capture(nullptr), start.width * start.height * 3);
    }
    EXPECT_NE(vq.onDestroy(), 0);
}

std::string NameOf(const ::testing::TestParamInfo<PluginUnderTest>& info) {
    std::string name = info.param.file;
    name.erase(std::remove(name.begin(), name.end(), '_'), name.end());
    return name;
}

#ifdef RAVK_WITH_GRABLET
// Grablet runs over one fake camera whose frames come late, so a size change shows its zeroed
// frame.
class OneFakeCamera : public FakeCameraEnvironment {
  public:
    void SetUp() override {
        FakeCameraEnvironment::SetUp();
        SetFakeCameras({SlowCamera(BgrCamera("Contract Camera", "smpte"), 300)});
    }
};
const auto* const oneFakeCamera = ::testing::AddGlobalTestEnvironment(new OneFakeCamera);

INSTANTIATE_TEST_SUITE_P(CameraPlugin, PluginContractTest,
                         ::testing::Values(PluginUnderTest{
                             "Grablet",
                             "Grablet",
                             {{640, 480}, {720, 480}, {38, 30}, {642, 481}, {16, 16}, {1920, 1080}},
                             {{1922, 1080}, {1920, 1082}, {14, 240}, {8, 8}},
                             true}),
                         NameOf);
#endif

#ifdef RAVK_WITH_GRABLET_DLL
// Grablet.dll runs over one virtual camera; its option dialog is closed as soon as it shows.
class OneVirtualCamera : public ::testing::Environment {
  public:
    void SetUp() override {
        ASSERT_TRUE(cameras_.Register(1));
        closer_ = std::thread([this] {
            while (!stop_) {
                if (const HWND dialog = FindWindowW(nullptr, L"Grablet オプション")) {
                    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
                }
                Sleep(20);
            }
        });
    }
    void TearDown() override {
        stop_ = true;
        closer_.join();
    }

  private:
    VirtualCameras cameras_;
    std::atomic<bool> stop_{false};
    std::thread closer_;
};
const auto* const oneVirtualCamera = ::testing::AddGlobalTestEnvironment(new OneVirtualCamera);

// The camera's frames flow at once, so a size change need not show its zeroed frame.
INSTANTIATE_TEST_SUITE_P(CameraPlugin, PluginContractTest,
                         ::testing::Values(PluginUnderTest{"Grablet",
                                                           "Grablet",
                                                           {{640, 480}, {320, 240}, {321, 240}},
                                                           {{800, 600}, {322, 240}, {16, 16}},
                                                           false}),
                         NameOf);
#endif

INSTANTIATE_TEST_SUITE_P(
    OurPlugins, PluginContractTest,
    ::testing::Values(
        PluginUnderTest{
            "Testcard",
            "Testcard",
            {{320, 240}, {640, 480}, {720, 480}, {16, 16}, {1920, 1080}, {16, 1080}, {1000, 500}},
            {{321, 240}, {320, 241}, {14, 14}, {14, 240}, {1922, 1080}, {1920, 1082}},
            false},
        PluginUnderTest{"test_plugin",
                        "TestPlugin",
                        {{320, 240}, {1, 1}, {17, 3}, {4096, 2}},
                        {{4097, 2}, {2, 4097}},
                        true}),
    NameOf);

}  // namespace
