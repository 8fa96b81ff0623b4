// Runs a built program of ours from the system's shell (sh, or cmd on Windows), as a user would,
// and collects what it printed.
#pragma once

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_files.h"

struct ToolRun {
    int status = -1;  // the exit status, -1 when the program did not exit normally
    std::string out;  // both with "\n" line ends, as Windows' text mode writes "\r\n"
    std::string err;
};

// text as one argument of a shell command.
inline std::string ShellQuoted(const std::string& text) {
#ifdef _WIN32
    return "\"" + text + "\"";  // cmd cannot quote a '"'; file names cannot hold one
#else
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
#endif
}

inline std::string WithLfLineEnds(std::string text) {
    std::size_t at = 0;
    while ((at = text.find("\r\n", at)) != std::string::npos) {
        text.erase(at, 1);
    }
    return text;
}

// Runs the bin folder's `program` with `args` (already quoted) in `folder`; standard error goes
// through a file there. A program still running after a minute is killed (status 124), so a hang
// fails the test instead of stalling it.
inline ToolRun RunTool(const std::string& program, const std::string& args,
                       const std::string& folder) {
    const auto native = [](const std::string& path) {
        return std::filesystem::path(path).make_preferred().string();
    };
    const std::string errFile = native(folder + "/stderr.txt");
#ifdef _WIN32
    const std::string changeFolder = "cd /d ";
    const std::string killHang = "";  // a hung test is ended by CTest's own time-out
#else
    const std::string changeFolder = "cd ";
    const std::string killHang = "timeout 60 ";
#endif
    const std::string command = changeFolder + ShellQuoted(native(folder)) + " && " + killHang +
                                ShellQuoted(native(std::string(RAVK_BIN_DIR) + "/" + program)) +
                                " " + args + " 2>" + ShellQuoted(errFile);
    ToolRun run;
#ifdef _WIN32
    std::FILE* pipe = _popen(command.c_str(), "rb");
#else
    std::FILE* pipe = popen(command.c_str(), "r");
#endif
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot run " << command;
        return run;
    }
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.out.append(buffer, got);
    }
#ifdef _WIN32
    run.status = _pclose(pipe);
#else
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    run.out = WithLfLineEnds(run.out);
    const std::vector<std::uint8_t> err = ReadFileBytes(errFile);
    run.err = WithLfLineEnds(std::string(err.begin(), err.end()));
    return run;
}
