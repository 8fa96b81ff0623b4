#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "regular_file.h"

FilePtr OpenRegularFile(const std::string& path, std::string& error) {
    // Opening a named file does not wait for a peer here; the type is checked on the open file.
    // A folder cannot be opened at all, so it is named for what it is first.
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) {
        error = OpenFileError(path, "not a regular file");
        return nullptr;
    }
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (file == nullptr) {
        error = OpenFileError(path, std::strerror(errno));
        return nullptr;
    }
    struct _stat64 status;
    if (_fstat64(_fileno(file.get()), &status) != 0 || (status.st_mode & _S_IFMT) != _S_IFREG) {
        error = OpenFileError(path, "not a regular file");
        return nullptr;
    }
    return file;
}
