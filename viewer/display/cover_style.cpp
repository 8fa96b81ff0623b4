#include "cover_style.h"

#include <utility>

#include "ascii_case.h"

std::optional<CoverStyle> CoverStyleFromName(std::string_view name) {
    static constexpr std::pair<std::string_view, CoverStyle> NAMES[] = {
        {"overlay", CoverStyle::Overlay},
        {"pixelate", CoverStyle::Pixelate},
        {"blur", CoverStyle::Blur},
    };
    return FindNamed(NAMES, name);
}
