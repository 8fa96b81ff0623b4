#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "regular_file.h"

FilePtr OpenRegularFile(const std::string& path, std::string& error) {
    // O_NONBLOCK keeps the open of a FIFO without a writer from waiting; the type is taken from
    // the opened descriptor, so the file cannot be swapped between the check and the read.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = OpenFileError(path, std::strerror(errno));
        return nullptr;
    }
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(fd);
        error = OpenFileError(path, "not a regular file");
        return nullptr;
    }
    const int flags = fcntl(fd, F_GETFL);
    FilePtr file(flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ? nullptr
                                                                           : fdopen(fd, "rb"));
    if (file == nullptr) {
        error = OpenFileError(path, std::strerror(errno));
        close(fd);
    }
    return file;
}
