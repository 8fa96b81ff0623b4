#include "viewer_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "shared_library.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

// Where start-up loads the pictures from, and the file it names when one fails ("" if none).
using Outcome = std::pair<std::string, std::string>;

// A scratch machine: an installed program in prefix/bin and an empty current folder.
class ViewerFilesTest : public ::testing::Test {
  protected:
    TempDir root;
    fs::path programFolder = root.Path() / "prefix" / "bin";
    fs::path current = root.Path() / "current";
    std::map<std::string, std::string> variables;
    EnvironmentLookup environment = [this](const char* name) -> std::optional<std::string> {
        const auto found = variables.find(name);
        return found != variables.end() ? std::optional(found->second) : std::nullopt;
    };

    void SetUp() override {
        fs::create_directories(programFolder);
        fs::create_directories(current);
    }
    static void CopyPictures(const fs::path& to) {
        fs::create_directories(to);
        fs::copy(fs::path(RAVK_BIN_DIR) / "images", to);
    }
    Outcome LoadPictures() {
        const CurrentDirScope inCurrent(current);
        const ViewerFiles files = FindViewerFiles(programFolder, environment, INSTALL_LAYOUT);
        OverlayTable table;
        std::string failed;
        LoadOverlaySprites(table, failed, files.overlayFolder);
        return {files.overlayFolder, failed};
    }
};

TEST_F(ViewerFilesTest, PicturesComeWholeFromTheCurrentFolderElseFromTheInstalledOne) {
    // Where the install rules put them: beside ravk.exe, or in share/ravk of the prefix.
#ifdef _WIN32
    const fs::path installed = programFolder / "images";
#else
    const fs::path installed = root.Path() / "prefix" / "share" / "ravk" / "images";
#endif
    EXPECT_EQ(LoadPictures(), Outcome("images", "images\\warai0000.bmp"))
        << "neither has them: the current folder's first file is named";

    CopyPictures(installed);
    const auto [fallback, fallbackFailure] = LoadPictures();
    EXPECT_EQ(fs::path(fallback), installed);
    EXPECT_EQ(fallbackFailure, "");

    CopyPictures(current / "images");
    EXPECT_EQ(LoadPictures(), Outcome("images", ""));

    fs::remove(current / "images" / "warai0012.bmp");
    EXPECT_EQ(LoadPictures(), Outcome("images", "images\\warai0012.bmp"))
        << "a set in the current folder is never completed from the installed one";
}

TEST_F(ViewerFilesTest, SettingsFileIsTheCurrentFoldersElseTheUsersConfiguration) {
    const InstallLayout xdg{"../share/ravk", "../lib/ravk", UserSettingsFolder::XdgConfig};
    const InstallLayout appData{".", nullptr, UserSettingsFolder::AppData};
    const std::string config = (root.Path() / "config").string();
    const std::string home = (root.Path() / "home").string();
    using Variables = std::map<std::string, std::string>;
    struct Case {
        const InstallLayout& layout;
        Variables variables;
        std::string expected;
    };
    const Case cases[] = {
        {xdg, {{"XDG_CONFIG_HOME", config}, {"HOME", home}}, config + "/ravk/ravk.ini"},
        {xdg, {{"HOME", home}}, home + "/.config/ravk/ravk.ini"},
        {xdg, {{"XDG_CONFIG_HOME", ""}, {"HOME", home}}, home + "/.config/ravk/ravk.ini"},
        {xdg,
         {{"XDG_CONFIG_HOME", "relative/config"}, {"HOME", home}},
         home + "/.config/ravk/ravk.ini"},
        {xdg, {{"APPDATA", "C:\\Users\\me\\AppData\\Roaming"}}, SETTINGS_FILE},
        {appData,
         {{"APPDATA", "C:\\Users\\me\\AppData\\Roaming"}},
         "C:\\Users\\me\\AppData\\Roaming\\ravk\\ravk.ini"},
        {appData, {{"APPDATA", "\\\\server\\me"}}, "\\\\server\\me\\ravk\\ravk.ini"},
        {appData, {{"APPDATA", "Roaming"}, {"XDG_CONFIG_HOME", config}}, SETTINGS_FILE},
        {appData, {{"HOME", home}}, SETTINGS_FILE},
    };
    const CurrentDirScope inCurrent(current);
    for (const Case& c : cases) {
        variables = c.variables;
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(fs::path(FindSettingsFile(environment, c.layout)), fs::path(c.expected));
    }
    std::ofstream(current / "ravk.ini") << "[ravk]\n";
    for (const InstallLayout* layout : {&xdg, &appData}) {
        variables = {{"XDG_CONFIG_HOME", config}, {"APPDATA", "C:\\Roaming"}};
        EXPECT_EQ(FindSettingsFile(environment, *layout), SETTINGS_FILE);
    }
}

TEST_F(ViewerFilesTest, BarePluginNameFallsBackToTheInstalledPluginFolder) {
    const fs::path pluginFolder = root.Path() / "prefix" / "lib" / "ravk";
    fs::create_directories(pluginFolder);
    fs::create_directories(current / "sub");
    for (const char* name : {"beside.so", "current.so", "installed.so"}) {
        std::ofstream(pluginFolder / name) << "plug-in";
    }
    std::ofstream(programFolder / "beside.so") << "plug-in";
    std::ofstream(current / "current.so") << "plug-in";
    std::ofstream(current / "sub" / "installed.so") << "plug-in";
    const CurrentDirScope inCurrent(current);
    const auto find = [&](const std::string& name) {
        return FindLibraryFile(name, programFolder, pluginFolder).lexically_normal();
    };
    EXPECT_EQ(find("beside.so"), (programFolder / "beside.so").lexically_normal());
    EXPECT_EQ(find("current.so"), (current / "current.so").lexically_normal());
    EXPECT_EQ(find("installed.so"), (pluginFolder / "installed.so").lexically_normal());
    EXPECT_EQ(find("sub\\installed.so"), (current / "sub" / "installed.so").lexically_normal());
    EXPECT_EQ(find("elsewhere.so"), fs::path("elsewhere.so")) << "left to the system's search";
}

}  // namespace
