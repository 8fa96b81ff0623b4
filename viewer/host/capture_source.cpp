#include "capture_source.h"

bool IsAcceptableFrameSize(std::int32_t width, std::int32_t height) {
    return width >= 0 && height >= 0 && width <= MAX_PLUGIN_FRAME_SIDE &&
           height <= MAX_PLUGIN_FRAME_SIDE &&
           std::int64_t{width} * height <= MAX_PLUGIN_FRAME_PIXELS;
}
