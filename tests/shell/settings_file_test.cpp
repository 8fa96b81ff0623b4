#include "settings_file.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#endif

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#ifndef _WIN32
#include "support/fifo_guard.h"
#endif

namespace {

using namespace std::string_literals;

// The settings file read into the plug-in name and thresholds given.
void ReadInto(const std::string& path, std::string& plugin, SkinColorRange& range) {
    ViewerSettings settings{plugin, range, {}};
    ReadSettingsFile(path, settings, nullptr);
    plugin = settings.pluginFileName;
    range = settings.skinRange;
}

class SettingsFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::mt19937_64 random(std::random_device{}());
        do {
            dir = std::filesystem::temp_directory_path() / ("ravk-ini-" + std::to_string(random()));
        } while (!std::filesystem::create_directory(dir));
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string Write(const std::string& content, const std::string& name = "ravk.ini") {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    std::filesystem::path dir;
};

TEST_F(SettingsFileTest, MissingFileLeavesPluginNameAndCurrentThresholds) {
    std::string plugin = "custom.so";
    SkinColorRange range;
    range.S_max = 42;
    ReadInto((dir / "absent.ini").string(), plugin, range);
    EXPECT_EQ(plugin, "custom.so");
    SkinColorRange expected;
    expected.S_max = 42;
    EXPECT_EQ(range, expected);
}

TEST_F(SettingsFileTest, EveryKeyLandsInItsOwnField) {
    const std::string path = Write(
        "[ravk]\nDLL=cam.so\nH1_max=1\nH1_min=2\nH2_max=3\nH2_min=4\n"
        "S_max=5\nS_min=6\nB_max=7\nB_min=8\n");
    std::string plugin = DEFAULT_PLUGIN_FILE;
    SkinColorRange range;
    ReadInto(path, plugin, range);
    EXPECT_EQ(plugin, "cam.so");
    const SkinColorRange expected{.H1_min = 2,
                                  .H1_max = 1,
                                  .H2_min = 4,
                                  .H2_max = 3,
                                  .S_min = 6,
                                  .S_max = 5,
                                  .B_min = 8,
                                  .B_max = 7};
    EXPECT_EQ(range, expected);
}

TEST_F(SettingsFileTest, MissingOrEmptyIntegerKeysKeepTheFieldsCurrentValues) {
    const std::string path = Write("[ravk]\nH1_max=\nS_min = \"\"\nB_max=5\n");
    std::string plugin = DEFAULT_PLUGIN_FILE;
    SkinColorRange range;
    range.H1_max = 11;
    range.S_min = 12;
    range.B_min = 13;
    ReadInto(path, plugin, range);
    SkinColorRange expected;
    expected.H1_max = 11;
    expected.S_min = 12;
    expected.B_min = 13;
    expected.B_max = 5;
    EXPECT_EQ(range, expected);
}

TEST_F(SettingsFileTest, EmptyDllValueKeepsThePluginName) {
    for (const char* content : {"[ravk]\nDLL=\n", "[ravk]\nDLL = \"\"\n", "[ravk]\nDLL\n",
                                "[ravk]\nH1_max=3\n", "[other]\nDLL=x.so\n"}) {
        std::string plugin = DEFAULT_PLUGIN_FILE;
        SkinColorRange range;
        ReadInto(Write(content), plugin, range);
        EXPECT_EQ(plugin, DEFAULT_PLUGIN_FILE) << content;
    }
}

TEST_F(SettingsFileTest, LongPluginNamesAreCutToTheBuffer) {
    const std::string name(1500, 'p');
    std::string plugin;
    SkinColorRange range;
    ReadInto(Write("[ravk]\nDLL=" + name + "\n"), plugin, range);
    EXPECT_EQ(plugin, name.substr(0, 1023));
}

TEST_F(SettingsFileTest, WindowsStyleNameIsFoundOnEveryPlatform) {
    Write("[ravk]\nDLL=win.so\n");
    std::string plugin;
    SkinColorRange range;
    ReadInto(dir.string() + "\\ravk.ini", plugin, range);
    EXPECT_EQ(plugin, "win.so");
}

TEST_F(SettingsFileTest, HugeLinesAreSkippedWithoutLosingTheLinesAfterThem) {
    std::string content(5 * 1024 * 1024, 'x');
    content += "\n[ravk]\nDLL=";
    content += std::string(5 * 1024 * 1024, 'y');
    content += "\nH1_max=5\n";
    const std::string path = Write(content);
    std::string plugin;
    SkinColorRange range;
    ReadInto(path, plugin, range);
    EXPECT_EQ(plugin, std::string(1023, 'y'));
    EXPECT_EQ(range.H1_max, 5u);
}

TEST_F(SettingsFileTest, UnusableFilesGiveTheDefaults) {
    std::string plugin = DEFAULT_PLUGIN_FILE;
    SkinColorRange range;
    ReadInto(dir.string(), plugin, range);
#ifndef _WIN32
    ReadInto("/dev/zero", plugin, range);
    const std::string fifo = (dir / "fifo.ini").string();
    EXPECT_TRUE(ReturnsOnAFifo(fifo, [&] { ReadInto(fifo, plugin, range); }));
#endif
    EXPECT_EQ(plugin, DEFAULT_PLUGIN_FILE);
    EXPECT_EQ(range, SkinColorRange{});
}

TEST_F(SettingsFileTest, UnreadableFileGivesTheDefaults) {
    const std::string locked = Write("[ravk]\nDLL=locked.so\n", "locked.ini");
#ifdef _WIN32
    // Windows has no read permission to take away; a handle that shares nothing locks the file.
    const int holder = _sopen(locked.c_str(), _O_RDONLY, _SH_DENYRW);
    ASSERT_NE(holder, -1);
#else
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    if (std::ifstream(locked).is_open()) {
        GTEST_SKIP() << "this user reads files without read permission";
    }
#endif
    std::string plugin = DEFAULT_PLUGIN_FILE;
    SkinColorRange range;
    ReadInto(locked, plugin, range);
#ifdef _WIN32
    _close(holder);
#endif
    EXPECT_EQ(plugin, DEFAULT_PLUGIN_FILE);
}

TEST_F(SettingsFileTest, CoverFinderAndCameraKeysAreBoundedAndUnknownNamesFallBackWithOneLine) {
    constexpr FaceFinderKind SKIN = FaceFinderKind::Skin;
    constexpr VirtualCameraKind OFF = VirtualCameraKind::Off;
    const struct {
        const char* lines;
        std::uint32_t keepMs;
        CoverStyle style;
        FaceFinderKind finder;
        VirtualCameraKind camera;
        const char* diagnostic;
    } cases[] = {
        {"", 0, CoverStyle::Overlay, SKIN, OFF, ""},
        {"KeepCoveredMs=1000\nCoverStyle=pixelate\n", 1000, CoverStyle::Pixelate, SKIN, OFF, ""},
        {"KeepCoveredMs=-5\nCoverStyle=\"Blur\"\n", 0, CoverStyle::Blur, SKIN, OFF, ""},
        {"KeepCoveredMs=25000\nCoverStyle=overlay\n", 10000, CoverStyle::Overlay, SKIN, OFF, ""},
        {"KeepCoveredMs=0x10\nCoverStyle=\n", 16, CoverStyle::Overlay, SKIN, OFF, ""},
        {"CoverStyle=mosaic\n", 0, CoverStyle::Overlay, SKIN, OFF,
         "ravk.ini: unknown CoverStyle \"mosaic\", using overlay\n"},
        {"FaceFinder=CNN-fast\n", 0, CoverStyle::Overlay, FaceFinderKind::CnnFast, OFF, ""},
        {"FaceFinder=dnn\n", 0, CoverStyle::Overlay, SKIN, OFF,
         "ravk.ini: unknown FaceFinder \"dnn\", using skin\n"},
        {"VirtualCamera=v4l2loopback\n", 0, CoverStyle::Overlay, SKIN,
         VirtualCameraKind::V4l2Loopback, ""},
        {"VirtualCamera=1\n", 0, CoverStyle::Overlay, SKIN, VirtualCameraKind::On, ""},
        {"VirtualCamera=yes\n", 0, CoverStyle::Overlay, SKIN, OFF,
         "ravk.ini: unknown VirtualCamera \"yes\", using 0\n"},
    };
    for (const auto& c : cases) {
        std::FILE* diagnostics = std::fopen((dir / "diagnostics.txt").string().c_str(), "w+b");
        ASSERT_NE(diagnostics, nullptr);
        ViewerSettings settings;
        ReadSettingsFile(Write("[ravk]\n"s + c.lines), settings, diagnostics);
        std::rewind(diagnostics);
        char text[200] = {};
        const std::size_t got = std::fread(text, 1, sizeof text - 1, diagnostics);
        std::fclose(diagnostics);
        EXPECT_EQ(settings.cover.keepCoveredMs, c.keepMs) << c.lines;
        EXPECT_EQ(settings.cover.style, c.style) << c.lines;
        EXPECT_EQ(settings.faceFinder, c.finder) << c.lines;
        EXPECT_EQ(settings.virtualCamera, c.camera) << c.lines;
        EXPECT_EQ(std::string(text, got), c.diagnostic) << c.lines;
    }
}

TEST_F(SettingsFileTest, RandomBytesNeverBreakTheReader) {
    std::mt19937 random(1234);
    std::uniform_int_distribution<int> byte(0, 255);
    const std::string alphabet = "[]=;\"' \t\r\n\0ravkDLH1_max0x-+9"s;
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    for (int round = 0; round < 200; ++round) {
        std::string content = round % 2 == 0 ? "[ravk]\n" : "";
        for (int i = 0; i < 2000; ++i) {
            content += round % 4 < 2 ? static_cast<char>(byte(random)) : alphabet[pick(random)];
        }
        std::string plugin = DEFAULT_PLUGIN_FILE;
        SkinColorRange range;
        ReadInto(Write(content), plugin, range);
        EXPECT_FALSE(plugin.empty());
        EXPECT_LE(plugin.size(), 1023u);
    }
}

}  // namespace
