#include "regular_file.h"

#include <filesystem>
#include <system_error>

std::string OpenFileError(const std::string& path, const char* why) {
    return "cannot open " + path + ": " + why;
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
