// Which files are read and which are replaced. Input (pictures, settings) is untrusted: opening a
// FIFO or a device can block forever or never reach an end, so only regular files are read.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Opens path for binary reading without blocking, and keeps it open only when it is a regular
// file. On failure returns null and puts a one-line reason naming path into error. Each platform
// has its own source file behind it (posix/, win32/).
FilePtr OpenRegularFile(const std::string& path, std::string& error);

// The one-line reason OpenRegularFile gives: "cannot open PATH: WHY".
std::string OpenFileError(const std::string& path, const char* why);

// Whether an earlier file at path may be deleted or replaced, as the Windows platform allows it: a
// missing file, or a regular file that is not read-only. A file without the owner's write
// permission counts as read-only also for root, as the read-only attribute does on Windows;
// folders and special files are never replaced.
bool MayReplaceFile(const std::string& path);
