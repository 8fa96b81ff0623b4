#include "track_history.h"

#include <cstdint>

void SmoothTrackedBox(std::vector<RegionBox>& boxes, TrackHistory& history) {
    if (boxes.empty()) {
        return;
    }
    history.boxes.push_back(boxes.front());
    const auto n = static_cast<std::int64_t>(history.boxes.size());
    std::int64_t left = 0, top = 0, right = 0, bottom = 0;
    for (const RegionBox& box : history.boxes) {
        left += box.left;
        top += box.top;
        right += box.right;
        bottom += box.bottom;
    }
    // Integer division truncates toward zero, as the averaged box must.
    boxes.front() = {static_cast<std::int32_t>(left / n), static_cast<std::int32_t>(top / n),
                     static_cast<std::int32_t>(right / n), static_cast<std::int32_t>(bottom / n)};
    if (n >= 5) {
        history.boxes.erase(history.boxes.begin());
    }
}
