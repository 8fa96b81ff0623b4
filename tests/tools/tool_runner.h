// Runs a built program of ours from a shell, as a user would, and collects what it printed.
// POSIX only (popen).
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "image/test_files.h"

struct ToolRun {
    int status = -1;  // the exit status, -1 when the program did not exit normally
    std::string out;
    std::string err;
};

inline std::string ShellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// Runs the bin folder's `program` with `args` (already quoted) in `folder`; standard error goes
// through a file there. A program still running after a minute is killed (status 124), so a hang
// fails the test instead of stalling it.
inline ToolRun RunTool(const std::string& program, const std::string& args,
                       const std::string& folder) {
    const std::string errFile = folder + "/stderr.txt";
    const std::string command = "cd " + ShellQuoted(folder) + " && timeout 60 " +
                                ShellQuoted(std::string(RAVK_BIN_DIR) + "/" + program) + " " +
                                args + " 2>" + ShellQuoted(errFile);
    ToolRun run;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot run " << command;
        return run;
    }
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.out.append(buffer, got);
    }
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const std::vector<std::uint8_t> err = ReadFileBytes(errFile);
    run.err.assign(err.begin(), err.end());
    return run;
}
