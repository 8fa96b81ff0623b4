#include "capture_settings.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace {

std::int32_t ClampAsSigned(std::uint32_t value, std::int32_t low, std::int32_t high) {
    std::int32_t asSigned;
    std::memcpy(&asSigned, &value, sizeof asSigned);
    return std::clamp(asSigned, low, high);
}

}  // namespace

std::uint32_t ReadUnsignedField(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return 0;
    }
    text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return 0;
    }
    return value;
}

std::string FormatUnsignedField(std::int32_t value) {
    return std::to_string(static_cast<std::uint32_t>(value));
}

std::string RangeLabel(std::int32_t low, std::int32_t high) {
    return ": " + std::to_string(low) + " to " + std::to_string(high);
}

RecordSettings ApplyCaptureSettings(std::string_view fpsText, std::string_view secondsText) {
    return {ClampAsSigned(ReadUnsignedField(fpsText), RECORD_FPS_MIN, RECORD_FPS_MAX),
            ClampAsSigned(ReadUnsignedField(secondsText), RECORD_SECONDS_MIN, RECORD_SECONDS_MAX)};
}
