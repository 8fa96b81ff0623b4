// Names that people type into settings files and command lines, compared without regard to the
// case of ASCII letters.
#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>

inline bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

// The value whose name is name, or nullopt.
template <typename Value, std::size_t N>
std::optional<Value> FindNamed(const std::pair<std::string_view, Value> (&names)[N],
                               std::string_view name) {
    for (const auto& [text, value] : names) {
        if (EqualsIgnoringAsciiCase(text, name)) {
            return value;
        }
    }
    return std::nullopt;
}
