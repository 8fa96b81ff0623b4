// Keeps a lost face covered for a while: when a paint finds no box, the boxes of the last paint
// that found some are drawn again until the hold runs out.
#pragma once

#include <cstdint>
#include <vector>

#include "analyze_frame.h"

// Lives for the whole run on the paint thread. Empty boxes mean nothing is held.
struct CoverHold {
    std::vector<RegionBox> boxes;
    std::uint32_t foundTick = 0;  // the tick of the paint that found them
};

// Called once per analysed paint at tick (milliseconds, 32-bit, wrapping) with the boxes it will
// draw. Boxes that were found replace the held ones; with none found, the held boxes are put in
// their place while fewer than keepMs milliseconds have passed since they were found, and dropped
// after that. A keepMs of 0 holds nothing.
void HoldCover(CoverHold& hold, std::vector<RegionBox>& boxes, std::uint32_t tick,
               std::uint32_t keepMs);
