// C++ helpers for tests that drive the test plug-ins: their paths, their call log and their
// control functions (see test_plugin_control.h).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "shared_library.h"
#include "support/test_files.h"
#include "support/test_plugin_control.h"

#ifdef _WIN32
inline constexpr const char* PLUGIN_SUFFIX = ".dll";
#else
inline constexpr const char* PLUGIN_SUFFIX = ".so";
#endif

// The full path of a test plug-in built into the bin folder, e.g. "test_plugin_zero_size".
inline std::string TestPluginPath(const std::string& name) {
    return std::string(RAVK_BIN_DIR) + "/" + name + PLUGIN_SUFFIX;
}

// Sets a variable of this process's environment, or removes it when value is empty; the C runtime
// that a loaded plug-in reads it through sees the change.
inline void SetEnvironmentValue(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    if (value.empty()) {
        unsetenv(name);
    } else {
        setenv(name, value.c_str(), 1);
    }
#endif
}

// Makes the test plug-ins log their calls into a fresh file while this object lives.
class TestPluginLog {
  public:
    TestPluginLog() : path_(dir_.File("calls.log")) {
        SetEnvironmentValue("RAVK_TEST_PLUGIN_LOG", path_);
    }
    ~TestPluginLog() { SetEnvironmentValue("RAVK_TEST_PLUGIN_LOG", ""); }
    TestPluginLog(const TestPluginLog&) = delete;
    TestPluginLog& operator=(const TestPluginLog&) = delete;

    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        std::ifstream in(path_);
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }

  private:
    TempDir dir_;
    std::string path_;
};

// The control functions of a test plug-in that something else holds loaded. Holds the module too,
// so the system unloads it only after this object and the other holder are both gone.
class TestPluginControl {
  public:
    explicit TestPluginControl(const std::string& path) { library_.Load(path); }

    void SetFrame(std::int32_t width, std::int32_t height, const std::uint8_t* pixels) const {
        Function<TestPlugin_SetFrameFunc>("TestPlugin_SetFrame")(width, height, pixels);
    }
    void SetReport(std::int32_t width, std::int32_t height, std::int32_t count) const {
        Function<TestPlugin_SetReportFunc>("TestPlugin_SetReport")(width, height, count);
    }
    void SetResult(const char* exportName, VQ_BOOL result) const {
        Function<TestPlugin_SetResultFunc>("TestPlugin_SetResult")(exportName, result);
    }

  private:
    template <typename F>
    F Function(const char* name) const {
        const auto function = reinterpret_cast<F>(library_.Symbol(name));
        if (function == nullptr) {
            std::abort();  // not a test plug-in: a broken test, not a failed expectation
        }
        return function;
    }

    SharedLibrary library_;
};
