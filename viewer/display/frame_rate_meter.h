// The frame rate in the window title: paints counted over a window of up to five seconds,
// refreshed about once a second.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

inline constexpr const char* TITLE_FORMAT = "Ravkeler / FPS = %.1f";
inline constexpr const char* RECORDING_TITLE_FORMAT = "[CAPTURING] Ravkeler / FPS = %.1f";

// Lives for the whole run on the paint thread; both ticks are set at the first paint.
struct FrameRateMeter {
    std::uint32_t paintCount = 0;
    std::uint32_t windowStartTick = 0;
    std::uint32_t lastTitleTick = 0;
    bool started = false;
};

// Counts one paint at tick (milliseconds, 32-bit, wrapping). When more than 1000 ms passed since
// the last title, returns the new title: paints since the window start, this one included, per
// second since the window start, in its recording form while recording is set. A window older
// than 5000 ms then restarts at tick with the count at 0.
std::optional<std::string> CountPaint(FrameRateMeter& meter, std::uint32_t tick, bool recording);
