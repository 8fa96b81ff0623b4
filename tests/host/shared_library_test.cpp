#include "shared_library.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/test_files.h"
#include "support/test_plugin_harness.h"

namespace {

namespace fs = std::filesystem;

TEST(SharedLibraryTest, LoadedLibraryResolvesItsExportsOnly) {
    SharedLibrary library;
    ASSERT_TRUE(library.Load(TestPluginPath("test_plugin")));
    EXPECT_TRUE(library.IsLoaded());
    EXPECT_NE(library.Symbol("VQ_Capture"), nullptr);
    EXPECT_EQ(library.Symbol("VQ_Absent"), nullptr);
}

TEST(SharedLibraryTest, FailedLoadHoldsNothing) {
    SharedLibrary library;
    EXPECT_FALSE(library.Load(std::string("/nonexistent/folder/plugin") + PLUGIN_SUFFIX));
    EXPECT_FALSE(library.Load(""));
    EXPECT_FALSE(library.Load(std::string("ravk-no-such-plugin") + PLUGIN_SUFFIX));
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_EQ(library.Symbol("VQ_Capture"), nullptr);
}

TEST(SharedLibraryTest, BareNameLooksInTheProgramFolderThenTheCurrentFolder) {
    TempDir dir;
    const std::string plugin = std::string("test_plugin") + PLUGIN_SUFFIX;
    const std::string copied = std::string("copied_plugin") + PLUGIN_SUFFIX;
    const std::string nested = std::string("nested_plugin") + PLUGIN_SUFFIX;
    // A plug-in of the same name in the current folder must lose to the one beside the program.
    fs::copy_file(TestPluginPath("test_plugin_no_name"), dir.Path() / plugin);
    fs::copy_file(TestPluginPath("test_plugin"), dir.Path() / copied);
    fs::create_directory(dir.Path() / "sub");
    fs::copy_file(TestPluginPath("test_plugin"), dir.Path() / "sub" / nested);
    const CurrentDirScope inDir(dir.Path());

    SharedLibrary library;
    ASSERT_TRUE(library.Load(plugin));
    EXPECT_NE(library.Symbol("VQ_GetDllName"), nullptr);
    EXPECT_TRUE(library.Load(copied));
    EXPECT_TRUE(library.Load("sub\\" + nested)) << "backslash is a folder separator";
}

TEST(SharedLibraryTest, EachLoadIsReleasedExactlyOnce) {
    const TestPluginLog log;
    SharedLibrary first;
    ASSERT_TRUE(first.Load(TestPluginPath("test_plugin")));
    SharedLibrary moved = std::move(first);
    EXPECT_FALSE(first.IsLoaded());
    EXPECT_NE(moved.Symbol("VQ_Capture"), nullptr);
    EXPECT_TRUE(log.Lines().empty());

    moved.Load(TestPluginPath("test_plugin_no_name"));  // releases the first library
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"unload"});
    moved = SharedLibrary();
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"unload", "unload"}));
    moved.Free();
    EXPECT_EQ(log.Lines().size(), 2u);
}

}  // namespace
