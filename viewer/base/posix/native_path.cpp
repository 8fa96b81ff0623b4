#include "native_path.h"

#include <algorithm>

std::string NativePath(const std::string& name) {
    std::string path = name;
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}
