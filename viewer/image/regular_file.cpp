#include "regular_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

std::string OpenError(const std::string& path, const char* why) {
    return "cannot open " + path + ": " + why;
}

}  // namespace

FilePtr OpenRegularFile(const std::string& path, std::string& error) {
#ifdef _WIN32
    // Opening a named file does not wait for a peer here; the type is checked on the open file.
    // A folder cannot be opened at all, so it is named for what it is first.
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) {
        error = OpenError(path, "not a regular file");
        return nullptr;
    }
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (file == nullptr) {
        error = OpenError(path, std::strerror(errno));
        return nullptr;
    }
    struct _stat64 status;
    if (_fstat64(_fileno(file.get()), &status) != 0 || (status.st_mode & _S_IFMT) != _S_IFREG) {
        error = OpenError(path, "not a regular file");
        return nullptr;
    }
    return file;
#else
    // O_NONBLOCK keeps the open of a FIFO without a writer from waiting; the type is taken from
    // the opened descriptor, so the file cannot be swapped between the check and the read.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = OpenError(path, std::strerror(errno));
        return nullptr;
    }
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(fd);
        error = OpenError(path, "not a regular file");
        return nullptr;
    }
    const int flags = fcntl(fd, F_GETFL);
    FilePtr file(flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ? nullptr
                                                                           : fdopen(fd, "rb"));
    if (file == nullptr) {
        error = OpenError(path, std::strerror(errno));
        close(fd);
    }
    return file;
#endif
}

bool MayReplaceFile(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (status.type() == fs::file_type::not_found) {
        return true;
    }
    return status.type() == fs::file_type::regular &&
           (status.permissions() & fs::perms::owner_write) != fs::perms::none;
}
