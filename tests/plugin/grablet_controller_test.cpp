// Every Grablet sequence over a scripted back end and scripted windows: device choice, the build
// steps' failures, size requests, frames as the layer hands them out, the option dialog's buttons,
// and the calls around destroy.
#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <ostream>

#include "camera_name.h"
#include "fake_plugin_parts.h"
#include "grablet_controller.h"

namespace {

using Calls = std::vector<std::string>;
using Messages = std::vector<FakeUi::Message>;
using Bytes = std::vector<std::uint8_t>;

// A failing case shows by its name.
template <typename Case>
requires requires(const Case& c) {
    c.name;
}
void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

constexpr char NO_DEVICE_LINE[] = "ビデオキャプチャデバイスは存在しません\n";
constexpr char NO_VIDEO_HEADER[] = "ビデオヘッダーを取得できませんでした";

class GrabletControllerTest : public ::testing::Test {
  protected:
    ~GrabletControllerTest() override { std::fclose(diagnostics); }

    std::string Diagnostics() {
        std::fflush(diagnostics);
        std::rewind(diagnostics);
        std::string text;
        for (int c = std::fgetc(diagnostics); c != EOF; c = std::fgetc(diagnostics)) {
            text += static_cast<char>(c);
        }
        return text;
    }

    // Started on the one device, at 4 x 2; the calls so far forgotten.
    void Running() {
        ASSERT_TRUE(controller.OnInit());
        ASSERT_EQ(controller.Resolution(), (PixelSize{4, 2}));
        backend.calls.clear();
    }

    // The frame VQ_Capture hands out now, checked against the count without a buffer.
    Bytes Captured() {
        Bytes frame(static_cast<std::size_t>(controller.Capture(nullptr)));
        EXPECT_EQ(controller.Capture(frame.data()), static_cast<std::int32_t>(frame.size()));
        return frame;
    }

    void PressInOptionDialog(void (*press)(const OptionDialogButtons&)) {
        ui.inOptionDialog = press;
        controller.RunOptionDialog();
    }

    FakeBackend backend;
    FakeUi ui;
    std::FILE* diagnostics = std::tmpfile();
    GrabletController controller{backend, ui, "/opt/ravk/bin/MyCam.so", "/usr/bin/ravk",
                                 diagnostics};
};

void PressSource(const OptionDialogButtons& buttons) {
    buttons.sourceSettings();
}
void PressInput(const OptionDialogButtons& buttons) {
    buttons.inputSettings();
}

// A frame of size whose stored row i holds the bytes 10 * (i + 1) + k, rows stride bytes apart,
// the gaps 0xEE; bytes 0 means exactly what the rows need.
FakeBackend::Frame MakeFrame(PixelSize size, std::size_t stride, FrameRowOrder order,
                             std::size_t bytes = 0) {
    const std::size_t rowBytes = 3 * static_cast<std::size_t>(size.width);
    const auto rows = static_cast<std::size_t>(size.height);
    FakeBackend::Frame frame;
    frame.bytes.assign(bytes != 0 ? bytes : stride * (rows - 1) + rowBytes, 0xEE);
    for (std::size_t i = 0; i < rows && stride <= frame.bytes.size(); ++i) {
        for (std::size_t k = 0; k < rowBytes && i * stride + k < frame.bytes.size(); ++k) {
            frame.bytes[i * stride + k] = static_cast<std::uint8_t>(10 * (i + 1) + k);
        }
    }
    frame.view = FrameView{nullptr, frame.bytes.size(), size.width, size.height, stride, order};
    return frame;
}

// The packed bottom-up frame of MakeFrame's picture.
Bytes PackedBottomUp(PixelSize size, FrameRowOrder order) {
    const std::size_t rowBytes = 3 * static_cast<std::size_t>(size.width);
    const auto rows = static_cast<std::size_t>(size.height);
    Bytes frame;
    for (std::size_t j = 0; j < rows; ++j) {
        const std::size_t stored = order == FrameRowOrder::TopDown ? rows - 1 - j : j;
        for (std::size_t k = 0; k < rowBytes; ++k) {
            frame.push_back(static_cast<std::uint8_t>(10 * (stored + 1) + k));
        }
    }
    return frame;
}

struct ChoiceCase {
    const char* name;
    std::vector<std::string> devices;
    std::optional<std::size_t> answer;
    bool dialog;
    bool started;
    std::string bound;
    std::string line;
};

class GrabletChoiceTest : public GrabletControllerTest,
                          public ::testing::WithParamInterface<ChoiceCase> {};

TEST_P(GrabletChoiceTest, DialogOnlyForTwoOrMoreAndSilentFailures) {
    const ChoiceCase& c = GetParam();
    backend.devices = c.devices;
    ui.deviceAnswer = c.answer;
    EXPECT_EQ(controller.OnInit(), c.started);
    EXPECT_EQ(ui.deviceLists, c.dialog ? std::vector<std::vector<std::string>>{c.devices}
                                       : std::vector<std::vector<std::string>>{});
    EXPECT_EQ(backend.boundDevice, c.bound);
    EXPECT_EQ(Diagnostics(), c.line);
    EXPECT_EQ(ui.messages, Messages{});
    EXPECT_EQ(backend.calls, c.started ? (Calls{"request any", "start"}) : Calls{});
    EXPECT_EQ(controller.Capture(nullptr), c.started ? 24 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Grablet, GrabletChoiceTest,
    ::testing::Values(ChoiceCase{"NoDevice", {}, 0, false, false, "", NO_DEVICE_LINE},
                      ChoiceCase{"OneDevice", {"A"}, 5, false, true, "A", ""},
                      ChoiceCase{"TwoTakeFirst", {"A", "B"}, 0, true, true, "A", ""},
                      ChoiceCase{"TwoTakeSecond", {"A", "B"}, 1, true, true, "B", ""},
                      ChoiceCase{"ThreeTakeThird", {"A", "B", "C"}, 2, true, true, "C", ""},
                      ChoiceCase{"Cancelled", {"A", "B"}, std::nullopt, true, false, "", ""},
                      ChoiceCase{"BeyondTheList", {"A", "B", "C"}, 3, true, false, "", ""},
                      // Loaded by the viewer, which publishes that camera itself.
                      ChoiceCase{"OwnCameraLeftOut", {CAMERA_NAME, "A"}, 5, false, true, "A", ""},
                      ChoiceCase{
                          "OnlyOwnCamera", {CAMERA_NAME}, 0, false, false, "", NO_DEVICE_LINE}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GrabletControllerTest, OnlyTheViewerItselfIsNotOfferedItsOwnCamera) {
    const std::pair<const char*, bool> hosts[] = {
        {"C:\\Program Files\\Ravkeler\\RAVK.EXE", false},
        {"/usr/bin/ravk-inspect", true},
        {"Z:\\build\\bin\\win32_viewer_tests.exe", true},
    };
    for (const auto& [host, offered] : hosts) {
        SCOPED_TRACE(host);
        FakeBackend cameras;
        cameras.devices = std::vector<std::string>{CAMERA_NAME, "A"};
        FakeUi choices;
        choices.deviceAnswer = 0;
        GrabletController hosted(cameras, choices, "Grablet.dll", host, diagnostics);
        EXPECT_TRUE(hosted.OnInit());
        EXPECT_EQ(cameras.boundDevice, offered ? CAMERA_NAME : "A");
        hosted.OnDestroy();
    }
}

TEST_F(GrabletControllerTest, WithoutADeviceLayerInitFailsWithoutTheNoDeviceLine) {
    backend.devices = std::nullopt;
    EXPECT_FALSE(controller.OnInit());
    EXPECT_EQ(Diagnostics(), "");
    EXPECT_EQ(ui.messages, Messages{});
}

struct BindCase {
    const char* name;
    BindResult result;
    bool readable;
    std::string message;  // empty: none
};

class GrabletBindTest : public GrabletControllerTest,
                        public ::testing::WithParamInterface<BindCase> {};

TEST_P(GrabletBindTest, EachFailedStepShowsItsMessageCaptionedGrablet) {
    const BindCase& c = GetParam();
    backend.bindResult = c.result;
    backend.readable = c.readable;
    EXPECT_FALSE(controller.OnInit());
    const Messages shown =
        c.message.empty() ? Messages{} : Messages{{c.message, "Grablet", MessageBoxOwner::None}};
    EXPECT_EQ(ui.messages, shown);
    EXPECT_EQ(controller.Resolution(), (PixelSize{0, 0}));
    EXPECT_EQ(controller.Capture(nullptr), 0);
    EXPECT_FALSE(controller.SetResolution(4, 2));
    controller.OnDestroy();
    EXPECT_EQ(backend.calls.back(), "release");
}

INSTANTIATE_TEST_SUITE_P(Grablet, GrabletBindTest,
                         ::testing::Values(BindCase{"NoDevice", BindResult::NoDevice, true, ""},
                                           BindCase{"NoPipeline", BindResult::NoPipeline, true,
                                                    "フィルタグラフを取得できませんでした"},
                                           BindCase{"NoRunControl", BindResult::NoRunControl, true,
                                                    "MediaControl を取得できませんでした"},
                                           BindCase{"NoGrabber", BindResult::NoGrabber, true,
                                                    "グラバフィルタを取得できませんでした"},
                                           BindCase{"NoConnection", BindResult::NoConnection, true,
                                                    "キャプチャグラフを取得できませんでした"},
                                           BindCase{"SizeUnreadable", BindResult::Bound, false,
                                                    NO_VIDEO_HEADER}),
                         [](const auto& info) { return std::string(info.param.name); });

struct ResolutionCase {
    const char* name;
    PixelSize request;
    std::function<std::optional<PixelSize>(std::optional<PixelSize>)> answer;
    bool readable;
    bool starts;
    bool result;
    PixelSize size;
    Calls calls;
};

class GrabletResolutionTest : public GrabletControllerTest,
                              public ::testing::WithParamInterface<ResolutionCase> {};

TEST_P(GrabletResolutionTest, RequestThenAdoptWhatIsConnected) {
    const ResolutionCase& c = GetParam();
    Running();
    backend.frames.push_back(MakeFrame({4, 2}, 12, FrameRowOrder::BottomUp));
    const Bytes before = Captured();
    backend.answer = c.answer;
    backend.readable = c.readable;
    backend.starts = c.starts;
    EXPECT_EQ(controller.SetResolution(c.request.width, c.request.height), c.result);
    EXPECT_EQ(controller.Resolution(), c.size);
    EXPECT_EQ(backend.calls, c.calls);
    // Every adoption zeroes the frame; without one the last frame stays.
    const bool adopted = c.readable && !c.calls.empty();
    EXPECT_EQ(Captured(), adopted ? Bytes(3 * c.size.width * c.size.height, 0) : before);
}

const auto ECHO = [](std::optional<PixelSize> size) { return size; };
const Calls RESTARTED{"stop", "request 8x6", "start"};

INSTANTIATE_TEST_SUITE_P(
    Grablet, GrabletResolutionTest,
    ::testing::Values(
        ResolutionCase{"Accepted", {8, 6}, ECHO, true, true, true, {8, 6}, RESTARTED},
        ResolutionCase{"ConnectedAtAnotherSize",
                       {8, 6},
                       [](std::optional<PixelSize>) {
                           return PixelSize{10, 6};
                       },
                       true,
                       true,
                       true,
                       {10, 6},
                       RESTARTED},
        ResolutionCase{"Refused",
                       {8, 6},
                       [](std::optional<PixelSize>) { return std::optional<PixelSize>(); },
                       true,
                       true,
                       false,
                       {4, 2},
                       RESTARTED},
        ResolutionCase{"SizeUnreadableStaysStopped",
                       {8, 6},
                       ECHO,
                       false,
                       true,
                       false,
                       {4, 2},
                       {"stop", "request 8x6", "stop"}},
        ResolutionCase{"FlowDoesNotStart", {8, 6}, ECHO, true, false, false, {8, 6}, RESTARTED},
        ResolutionCase{"NoWidth", {0, 6}, ECHO, true, true, false, {4, 2}, {}},
        ResolutionCase{"NegativeHeight", {8, -6}, ECHO, true, true, false, {4, 2}, {}},
        ResolutionCase{"BeyondTheByteCount", {40000, 40000}, ECHO, true, true, false, {4, 2}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

struct FrameCase {
    const char* name;
    PixelSize size;
    std::size_t stride;
    FrameRowOrder order;
    std::size_t bytes;  // 0: what the rows need
    bool taken;
};

class GrabletFrameTest : public GrabletControllerTest,
                         public ::testing::WithParamInterface<FrameCase> {};

TEST_P(GrabletFrameTest, ViewsAreCheckedAndCopiedBottomUpPacked) {
    const FrameCase& c = GetParam();
    Running();
    backend.frames.push_back(MakeFrame(c.size, c.stride, c.order, c.bytes));
    EXPECT_EQ(Captured(), c.taken ? PackedBottomUp({4, 2}, c.order) : Bytes(24, 0));
}

constexpr auto TOP_DOWN = FrameRowOrder::TopDown;
constexpr auto BOTTOM_UP = FrameRowOrder::BottomUp;

INSTANTIATE_TEST_SUITE_P(
    Grablet, GrabletFrameTest,
    ::testing::Values(FrameCase{"TopDownPacked", {4, 2}, 12, TOP_DOWN, 0, true},
                      FrameCase{"TopDownPadded", {4, 2}, 16, TOP_DOWN, 0, true},
                      FrameCase{"BottomUpPadded", {4, 2}, 16, BOTTOM_UP, 0, true},
                      FrameCase{"OneByteShort", {4, 2}, 16, TOP_DOWN, 27, false},
                      FrameCase{"StrideShorterThanARow", {4, 2}, 11, TOP_DOWN, 64, false},
                      FrameCase{"StrideBeyondTheBytes",
                                {4, 2},
                                std::numeric_limits<std::size_t>::max() / 2,
                                TOP_DOWN,
                                64,
                                false},
                      FrameCase{"AnotherWidth", {5, 2}, 16, TOP_DOWN, 0, false},
                      FrameCase{"AnotherHeight", {4, 3}, 12, TOP_DOWN, 0, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GrabletControllerTest, NoNewFrameOrABadOneKeepsTheLastFrame) {
    Running();
    backend.frames.push_back(MakeFrame({4, 2}, 12, TOP_DOWN));
    const Bytes delivered = Captured();
    ASSERT_EQ(delivered, PackedBottomUp({4, 2}, TOP_DOWN));
    EXPECT_EQ(Captured(), delivered);
    backend.frames.push_back(MakeFrame({4, 2}, 12, TOP_DOWN, 20));
    EXPECT_EQ(Captured(), delivered);
}

struct SourceCase {
    const char* name;
    std::vector<PixelSize> offered;
    std::optional<std::size_t> answer;
    bool readable;
    std::vector<PixelSize> choices;
    std::size_t inForce;
    PixelSize size;
    Calls calls;
    Messages messages;
};

class GrabletSourceTest : public GrabletControllerTest,
                          public ::testing::WithParamInterface<SourceCase> {};

TEST_P(GrabletSourceTest, SourceSettingsStopChooseAndAdopt) {
    const SourceCase& c = GetParam();
    Running();
    backend.offered = c.offered;
    backend.readable = c.readable;
    ui.sourceSizeAnswer = c.answer;
    PressInOptionDialog(PressSource);
    EXPECT_EQ(ui.sourceSizes, c.choices);
    EXPECT_EQ(ui.sourceSizeInForce, c.inForce);
    EXPECT_EQ(controller.Resolution(), c.size);
    EXPECT_EQ(backend.calls, c.calls);
    EXPECT_EQ(ui.messages, c.messages);
    // The rows are those at opening.
    ASSERT_EQ(ui.optionRows.size(), 1U);
    EXPECT_EQ(ui.optionRows[0].deviceName, "Camera");
    EXPECT_EQ(ui.optionRows[0].width, 4);
    EXPECT_EQ(ui.optionRows[0].height, 2);
}

const std::vector<PixelSize> LISTED{{4, 2}, {8, 6}, {8, 6}, {0, 0}, {16, 12}};

INSTANTIATE_TEST_SUITE_P(Grablet, GrabletSourceTest,
                         ::testing::Values(SourceCase{"Chosen",
                                                      LISTED,
                                                      2,
                                                      true,
                                                      {{4, 2}, {8, 6}, {16, 12}},
                                                      0,
                                                      {16, 12},
                                                      {"stop", "request 16x12", "start"},
                                                      {}},
                                           SourceCase{"InForceListedLater",
                                                      {{8, 6}, {4, 2}},
                                                      0,
                                                      true,
                                                      {{8, 6}, {4, 2}},
                                                      1,
                                                      {8, 6},
                                                      {"stop", "request 8x6", "start"},
                                                      {}},
                                           SourceCase{"InForceNotListed",
                                                      {{8, 6}},
                                                      std::nullopt,
                                                      true,
                                                      {{4, 2}, {8, 6}},
                                                      0,
                                                      {4, 2},
                                                      {"stop", "request 4x2", "start"},
                                                      {}},
                                           SourceCase{"Cancelled",
                                                      LISTED,
                                                      std::nullopt,
                                                      true,
                                                      {{4, 2}, {8, 6}, {16, 12}},
                                                      0,
                                                      {4, 2},
                                                      {"stop", "request 4x2", "start"},
                                                      {}},
                                           SourceCase{"SizeUnreadableStaysStopped",
                                                      LISTED,
                                                      1,
                                                      false,
                                                      {{4, 2}, {8, 6}, {16, 12}},
                                                      0,
                                                      {4, 2},
                                                      {"stop", "request 8x6", "stop"},
                                                      {{NO_VIDEO_HEADER, "MyCam",
                                                        MessageBoxOwner::OptionDialog}}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(GrabletControllerTest, InputSettingsPassInRangeChangesWhileTheFlowRuns) {
    Running();
    backend.controls = {{"BRIGHTNESS", -100, 100, 0}, {"HUE", -50, 50, 3}};
    ui.inPictureControls = [](const std::function<void(std::size_t, int)>& setValue) {
        setValue(0, -100);
        setValue(1, 51);
        setValue(2, 0);
        setValue(1, -50);
    };
    PressInOptionDialog(PressInput);
    ASSERT_EQ(ui.shownControls.size(), 2U);
    EXPECT_EQ(ui.shownControls[1].name, "HUE");
    EXPECT_EQ(ui.shownControls[1].value, 3);
    EXPECT_EQ(backend.controlChanges,
              (std::vector<std::pair<std::size_t, int>>{{0, -100}, {1, -50}}));
    EXPECT_EQ(backend.calls, Calls{});
    backend.controls.clear();
    PressInOptionDialog(PressInput);
    EXPECT_EQ(ui.pictureWindows, 1) << "nothing opens for a device without controls";
}

TEST_F(GrabletControllerTest, TheDevicesOwnWindowsTakeThePlaceOfControlsAndSizeChoice) {
    Running();
    backend.ownWindows = true;
    backend.controls = {{"BRIGHTNESS", -100, 100, 0}};
    backend.offered = {{8, 6}};
    backend.formatAnswer = {16, 12};
    PressInOptionDialog(PressInput);
    EXPECT_EQ(backend.calls, Calls{"device settings"}) << "the flow runs on";
    EXPECT_EQ(ui.pictureWindows, 0);
    backend.calls.clear();
    PressInOptionDialog(PressSource);
    EXPECT_EQ(backend.calls, (Calls{"stop", "format settings", "start"}));
    EXPECT_TRUE(ui.sourceSizes.empty()) << "no size choice of the plug-in's own";
    EXPECT_EQ(controller.Resolution(), (PixelSize{16, 12}));
    EXPECT_EQ(Captured(), Bytes(16 * 12 * 3, 0));
}

TEST_F(GrabletControllerTest, BeforeInitAndAfterDestroyOnlyTheLastFrameIsLeftUntilANewStart) {
    Bytes untouched(8, 0x5A);
    EXPECT_EQ(controller.Capture(untouched.data()), 0);
    EXPECT_EQ(untouched, Bytes(8, 0x5A));
    EXPECT_FALSE(controller.SetResolution(4, 2));
    PressInOptionDialog([](const OptionDialogButtons& buttons) {
        buttons.inputSettings();
        buttons.sourceSettings();
    });
    EXPECT_EQ(backend.calls, Calls{});

    Running();
    backend.frames.push_back(MakeFrame({4, 2}, 12, TOP_DOWN));
    const Bytes last = Captured();
    controller.OnDestroy();
    EXPECT_EQ(backend.calls, Calls{"release"});
    backend.frames.push_back(MakeFrame({4, 2}, 12, BOTTOM_UP));
    EXPECT_EQ(controller.Resolution(), (PixelSize{4, 2}));
    EXPECT_EQ(Captured(), last);
    EXPECT_EQ(backend.frames.size(), 1U) << "nothing is asked of a released capture";
    EXPECT_FALSE(controller.SetResolution(8, 6));
    PressInOptionDialog(PressSource);
    EXPECT_EQ(backend.calls, Calls{"release"});

    backend.readable = false;
    EXPECT_FALSE(controller.OnInit());
    EXPECT_EQ(controller.Capture(nullptr), 0) << "a new start begins from nothing";
}

TEST(GrabletFileTitleTest, FolderAndExtensionAreDropped) {
    const std::pair<std::string, std::string> cases[] = {{"/usr/lib/ravk/Grablet.so", "Grablet"},
                                                         {"MyCam.so", "MyCam"},
                                                         {"C:\\ravk\\Grablet.dll", "Grablet"},
                                                         {"/opt/cam.d/cam", "cam"},
                                                         {"/opt/cam.v2.so", "cam.v2"},
                                                         {"/opt/.so", ".so"}};
    for (const auto& [path, title] : cases) {
        EXPECT_EQ(FileTitle(path), title) << path;
    }
}

}  // namespace
