#include "cover_hold.h"

void HoldCover(CoverHold& hold, std::vector<RegionBox>& boxes, std::uint32_t tick,
               std::uint32_t keepMs) {
    if (keepMs == 0) {
        return;
    }
    if (!boxes.empty()) {
        // Assigning reuses the held list's storage.
        hold.boxes = boxes;
        hold.foundTick = tick;
    } else if (!hold.boxes.empty() && tick - hold.foundTick < keepMs) {
        boxes = hold.boxes;
    } else {
        hold.boxes.clear();
    }
}
