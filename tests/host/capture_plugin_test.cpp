#include "capture_plugin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <numeric>
#include <string>
#include <vector>

#include "support/test_plugin_harness.h"

namespace {

using Lines = std::vector<std::string>;

const Lines NAME_CALLS{"VQ_GetDllName(null)", "VQ_GetDllName(buffer)"};
const Lines GRAB_CALLS{"VQ_Capture(null)", "VQ_GetResolution", "VQ_Capture(buffer)"};

Lines Joined(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// A frame no plug-in serves, to tell a kept frame from a written one.
FrameImage MarkedFrame() {
    FrameImage frame = MakeFrameImage(5, 3);
    for (std::size_t i = 0; i < frame.pixels.size(); ++i) {
        frame.pixels[i] = {static_cast<std::uint8_t>(i), 0x5A, 0xA5};
    }
    return frame;
}

std::vector<std::uint8_t> Bytes(const FrameImage& frame) {
    return {FrameBytes(frame), FrameBytes(frame) + frame.pixels.size() * 3};
}

class CapturePluginTest : public ::testing::Test {
  protected:
    // Expects GrabFrame to fail before the plug-in may write, leaving frame as it was.
    void ExpectGrabRefused(CapturePlugin& plugin, const std::string& why) {
        FrameImage frame = MarkedFrame();
        const std::size_t callsBefore = log.Lines().size();
        EXPECT_FALSE(plugin.GrabFrame(frame)) << why;
        EXPECT_EQ(Bytes(frame), Bytes(MarkedFrame())) << why;
        EXPECT_EQ(frame.width, 5) << why;
        const Lines calls = log.Lines();
        EXPECT_EQ(std::count(calls.begin() + callsBefore, calls.end(), "VQ_Capture(buffer)"), 0)
            << why;
    }

    const TestPluginLog log;  // first in, last out: it sees the unload of every plug-in
};

TEST_F(CapturePluginTest, WholeLifeCycleCallsTheExportsInOrder) {
    const std::string path = TestPluginPath("test_plugin");
    {
        CapturePlugin plugin;
        ASSERT_TRUE(plugin.Load(path));
        EXPECT_EQ(plugin.displayName, "TestPlugin");
        EXPECT_EQ(plugin.fileName, path);
        EXPECT_TRUE(plugin.Init(reinterpret_cast<void*>(0x1234)));
        EXPECT_TRUE(plugin.SetResolution(320, 240));
        FrameImage frame;
        EXPECT_TRUE(plugin.GrabFrame(frame));
        EXPECT_TRUE(plugin.GrabFrame(frame));
        EXPECT_EQ(frame.width, 320);
        EXPECT_EQ(frame.height, 240);
        EXPECT_TRUE(plugin.ShowOptionDialog());
        std::int32_t width = 0;
        std::int32_t height = 0;
        EXPECT_TRUE(plugin.GetResolution(width, height));
        EXPECT_EQ(width, 320);
        EXPECT_EQ(height, 240);
    }
    EXPECT_EQ(log.Lines(),
              Joined({NAME_CALLS,
                      {"VQ_OnInit(0x1234)", "VQ_SetResolution(320, 240)"},
                      GRAB_CALLS,
                      GRAB_CALLS,
                      {"VQ_DoModalOptionDlg", "VQ_GetResolution", "VQ_OnDestroy", "unload"}}));
}

TEST_F(CapturePluginTest, FailedInitIsStillFollowedByDestroyAndUnload) {
    {
        CapturePlugin plugin;
        ASSERT_TRUE(plugin.Load(TestPluginPath("test_plugin_init_fails")));
        EXPECT_FALSE(plugin.Init(nullptr));
    }
    EXPECT_EQ(log.Lines(), Joined({NAME_CALLS, {"VQ_OnInit(0x0)", "VQ_OnDestroy", "unload"}}));
}

TEST_F(CapturePluginTest, RefusedResolutionIsReported) {
    CapturePlugin plugin;
    ASSERT_TRUE(plugin.Load(TestPluginPath("test_plugin_set_resolution_fails")));
    ASSERT_TRUE(plugin.Init(nullptr));
    EXPECT_FALSE(plugin.SetResolution(320, 240));
}

TEST_F(CapturePluginTest, NameFailuresFailTheLoadButKeepTheModuleUntilExit) {
    {
        CapturePlugin plugin;
        EXPECT_FALSE(plugin.Load(TestPluginPath("test_plugin_no_name")));
        EXPECT_TRUE(plugin.module.IsLoaded());
        EXPECT_EQ(plugin.displayName, "");
    }
    EXPECT_EQ(log.Lines(), (Lines{"VQ_OnDestroy", "unload"}));
    {
        CapturePlugin plugin;
        EXPECT_FALSE(plugin.Load(TestPluginPath("test_plugin_empty_name")));
        EXPECT_TRUE(plugin.module.IsLoaded());
    }
    EXPECT_EQ(log.Lines(),
              (Lines{"VQ_OnDestroy", "unload", "VQ_GetDllName(null)", "VQ_OnDestroy", "unload"}));
}

TEST_F(CapturePluginTest, UnterminatedNameEndsAtTheAnnouncedLength) {
    CapturePlugin plugin;
    EXPECT_TRUE(plugin.Load(TestPluginPath("test_plugin_unterminated_name")));
    EXPECT_EQ(plugin.displayName, "Unending");
}

TEST_F(CapturePluginTest, SecondLoadKeepsTheModuleAndFetchesNoName) {
    CapturePlugin plugin;
    ASSERT_TRUE(plugin.Load(TestPluginPath("test_plugin")));
    EXPECT_TRUE(plugin.Load("another_plugin.so"));
    EXPECT_EQ(plugin.fileName, "another_plugin.so");
    EXPECT_EQ(plugin.displayName, "TestPlugin");
    EXPECT_EQ(log.Lines(), NAME_CALLS);
}

TEST_F(CapturePluginTest, MissingExportIsSkippedAtExitAndTheModuleStillFreed) {
    {
        CapturePlugin plugin;
        ASSERT_TRUE(plugin.Load(TestPluginPath("test_plugin_no_destroy")));
        EXPECT_TRUE(plugin.Init(nullptr));
    }
    EXPECT_EQ(log.Lines(), Joined({NAME_CALLS, {"VQ_OnInit(0x0)", "unload"}}));
}

TEST_F(CapturePluginTest, WithoutModuleEveryOperationFailsAndWritesNothing) {
    CapturePlugin plugin;
    EXPECT_FALSE(plugin.Load("ravk-no-such-plugin.so"));
    EXPECT_EQ(plugin.fileName, "ravk-no-such-plugin.so");
    EXPECT_FALSE(plugin.module.IsLoaded());
    EXPECT_FALSE(plugin.Init(nullptr));
    EXPECT_FALSE(plugin.SetResolution(320, 240));
    std::int32_t width = 7;
    std::int32_t height = 9;
    EXPECT_FALSE(plugin.GetResolution(width, height));
    EXPECT_EQ(width, 7);
    EXPECT_EQ(height, 9);
    EXPECT_FALSE(plugin.ShowOptionDialog());
    ExpectGrabRefused(plugin, "no module");
}

TEST_F(CapturePluginTest, GrabCopiesTheServedFrameBytesUnchanged) {
    CapturePlugin plugin;
    ASSERT_TRUE(plugin.Load(TestPluginPath("test_plugin")));
    ASSERT_TRUE(plugin.Init(nullptr));
    std::vector<std::uint8_t> served(3 * 2 * 3);  // odd width: rows of 9 bytes, no padding
    std::iota(served.begin(), served.end(), std::uint8_t{1});
    TestPluginControl(plugin.fileName).SetFrame(3, 2, served.data());

    FrameImage frame;
    ASSERT_TRUE(plugin.GrabFrame(frame));
    EXPECT_EQ(frame.width, 3);
    EXPECT_EQ(frame.height, 2);
    EXPECT_EQ(Bytes(frame), served);
}

TEST_F(CapturePluginTest, EveryGrabClearsTheFrameBeforeThePluginWrites) {
    CapturePlugin plugin;
    ASSERT_TRUE(plugin.Load(TestPluginPath("test_plugin")));
    ASSERT_TRUE(plugin.Init(nullptr));
    const std::vector<std::uint8_t> served{1, 2, 3, 4, 5, 6};
    const TestPluginControl control(plugin.fileName);
    control.SetFrame(2, 1, served.data());
    control.SetReport(4, 1, 12);  // writes only the 6 bytes it has

    FrameImage frame = MakeFrameImage(4, 1);
    const Pixel24* storage = frame.pixels.data();
    std::fill(frame.pixels.begin(), frame.pixels.end(), Pixel24{0xFF, 0xFF, 0xFF});
    ASSERT_TRUE(plugin.GrabFrame(frame));
    EXPECT_EQ(Bytes(frame), (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(frame.pixels.data(), storage) << "the same size grabs into the same storage";
}

TEST_F(CapturePluginTest, ZeroSizeEmptiesTheFrameAndFailsOnTheZeroCount) {
    CapturePlugin plugin;
    ASSERT_TRUE(plugin.Load(TestPluginPath("test_plugin_zero_size")));
    ASSERT_TRUE(plugin.Init(nullptr));
    FrameImage frame = MarkedFrame();
    EXPECT_FALSE(plugin.GrabFrame(frame));
    EXPECT_EQ(frame.width, 0);
    EXPECT_EQ(frame.height, 0);
    EXPECT_TRUE(frame.pixels.empty());
}

TEST_F(CapturePluginTest, SizeDisagreementKeepsThePreviousFrame) {
    CapturePlugin mismatch;
    ASSERT_TRUE(mismatch.Load(TestPluginPath("test_plugin_count_mismatch")));
    ASSERT_TRUE(mismatch.Init(nullptr));
    ExpectGrabRefused(mismatch, "count 3 bytes over the size");

    CapturePlugin plugin;
    ASSERT_TRUE(plugin.Load(TestPluginPath("test_plugin")));
    ASSERT_TRUE(plugin.Init(nullptr));
    const TestPluginControl control(plugin.fileName);
    control.SetReport(2, 2, -12);
    ExpectGrabRefused(plugin, "negative count");
    control.SetReport(2, 2, 12);
    control.SetResult("VQ_GetResolution", 0);
    ExpectGrabRefused(plugin, "size not readable");
}

TEST_F(CapturePluginTest, NonsenseSizesNeverReachTheFrame) {
    CapturePlugin plugin;
    ASSERT_TRUE(plugin.Load(TestPluginPath("test_plugin")));
    ASSERT_TRUE(plugin.Init(nullptr));
    const TestPluginControl control(plugin.fileName);
    struct Report {
        std::int32_t width, height, count;
        const char* why;
    };
    for (const Report& r : {
             Report{-2, -3, 18, "negative sides with a matching product"},
             Report{65536, 65536, 0, "byte count wraps to 0 in 32 bits"},
             Report{16385, 1, 16385 * 3, "side over the limit"},
             Report{16384, 4097, 16384 * 4097 * 3, "pixel count over the limit"},
         }) {
        control.SetReport(r.width, r.height, r.count);
        ExpectGrabRefused(plugin, r.why);
    }

    control.SetFrame(MAX_PLUGIN_FRAME_SIDE, 1, nullptr);
    FrameImage frame;
    EXPECT_TRUE(plugin.GrabFrame(frame)) << "the longest side allowed";
    EXPECT_EQ(frame.width, MAX_PLUGIN_FRAME_SIDE);
}

}  // namespace
