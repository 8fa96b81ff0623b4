// Loose Tracking: the first box averaged with the raw first boxes of up to four earlier paints.
#pragma once

#include <vector>

#include "analyze_frame.h"

// The raw (unsmoothed) first boxes of the latest paints that smoothed, at most four between
// paints. Owned by the caller for the whole run; nothing but SmoothTrackedBox changes it.
struct TrackHistory {
    std::vector<RegionBox> boxes;
};

// Replaces boxes[0] by the field-wise mean (truncated toward zero) of it and the history, then
// remembers the raw box. Does nothing when boxes is empty.
void SmoothTrackedBox(std::vector<RegionBox>& boxes, TrackHistory& history);
