#include "module_path.h"

#include <dlfcn.h>

std::string ModulePath() {
    static const char anchor = 0;
    Dl_info info{};
    if (dladdr(&anchor, &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    return info.dli_fname;
}
