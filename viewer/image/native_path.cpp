#include "native_path.h"

#include <algorithm>

std::string NativePath(const std::string& name) {
#ifdef _WIN32
    return name;
#else
    std::string path = name;
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
#endif
}
