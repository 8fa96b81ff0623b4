#include "frame_rate_meter.h"

#include <cstdio>

namespace {

constexpr std::uint32_t TITLE_PERIOD_MS = 1000;
constexpr std::uint32_t WINDOW_LENGTH_MS = 5000;

}  // namespace

std::optional<std::string> CountPaint(FrameRateMeter& meter, std::uint32_t tick, bool recording) {
    if (!meter.started) {
        meter.started = true;
        meter.windowStartTick = tick;
        meter.lastTitleTick = tick;
    }
    ++meter.paintCount;
    // Elapsed times in unsigned arithmetic stay right when the tick count wraps around.
    std::optional<std::string> title;
    if (static_cast<std::uint32_t>(tick - meter.lastTitleTick) > TITLE_PERIOD_MS) {
        const std::uint32_t elapsed = tick - meter.windowStartTick;
        const double fps = static_cast<double>(meter.paintCount) / elapsed * 1000.0;
        char text[64];
        std::snprintf(text, sizeof text, recording ? RECORDING_TITLE_FORMAT : TITLE_FORMAT, fps);
        title = text;
        meter.lastTitleTick = tick;
    }
    if (static_cast<std::uint32_t>(tick - meter.windowStartTick) > WINDOW_LENGTH_MS) {
        meter.windowStartTick = tick;
        meter.paintCount = 0;
    }
    return title;
}
