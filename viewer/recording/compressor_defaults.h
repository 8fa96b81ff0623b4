// What the compressor choice offers before the user changes anything, on every platform.
#pragma once

#include <cstdint>

// Quality from the smallest file to the best picture, and where it starts.
inline constexpr int QUALITY_MIN = 1;
inline constexpr int QUALITY_MAX = 100;
inline constexpr int DEFAULT_QUALITY = 85;

// The data rate a user may ask a lossy compressor to aim at, in kilobytes per second.
inline constexpr std::int32_t DATA_RATE_MIN_KB = 1;
inline constexpr std::int32_t DATA_RATE_MAX_KB = 1000000;
inline constexpr std::int32_t DEFAULT_DATA_RATE_KB = 300;
