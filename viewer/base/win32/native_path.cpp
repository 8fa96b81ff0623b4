#include "native_path.h"

// Windows reads the backslash as a separator itself.
std::string NativePath(const std::string& name) {
    return name;
}
