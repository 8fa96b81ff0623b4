// The two recording settings of "Capture Settings": frame rate and length, kept for the run.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

inline constexpr std::int32_t RECORD_FPS_MIN = 5;
inline constexpr std::int32_t RECORD_FPS_MAX = 30;
inline constexpr std::int32_t RECORD_SECONDS_MIN = 5;
inline constexpr std::int32_t RECORD_SECONDS_MAX = 60;

struct RecordSettings {
    std::int32_t recordFps = 15;
    std::int32_t recordSeconds = 5;
};

// A field's text read as an unsigned decimal number: blanks around it are allowed; anything else
// that is not a number (empty text, other characters, more than 32 bits) reads 0.
std::uint32_t ReadUnsignedField(std::string_view text);

// The field texts as the dialog shows them when it opens.
std::string FormatUnsignedField(std::int32_t value);

// The note beside a field on its allowed range, e.g. ": 5 to 30".
std::string RangeLabel(std::int32_t low, std::int32_t high);

// "OK" of the dialog: both fields read and limited to their bounds, comparing as signed 32-bit
// numbers, so a number above 2147483647 counts as negative and becomes the lower bound.
RecordSettings ApplyCaptureSettings(std::string_view fpsText, std::string_view secondsText);
