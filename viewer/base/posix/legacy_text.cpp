#include "legacy_text.h"

std::string LegacyTextToUtf8(std::string_view bytes) {
    return std::string(bytes);
}
