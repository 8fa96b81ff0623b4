#include "pending_file.h"

#include <filesystem>
#include <system_error>

std::string PendingFileName(const std::string& fileName) {
    const std::size_t nameStart = fileName.find_last_of("/\\") + 1;  // npos + 1 is 0
    const std::size_t dot = fileName.rfind('.');
    // A leading dot names a hidden file rather than starting an extension.
    if (dot == std::string::npos || dot <= nameStart) {
        return fileName + ".tmp";
    }
    return fileName.substr(0, dot) + ".tmp" + fileName.substr(dot);
}

bool PutPendingFile(const std::string& fileName) {
    std::error_code error;
    std::filesystem::rename(PendingFileName(fileName), fileName, error);
    return !error;
}

void DiscardPendingFile(const std::string& fileName) {
    std::error_code ignored;
    std::filesystem::remove(PendingFileName(fileName), ignored);
}
