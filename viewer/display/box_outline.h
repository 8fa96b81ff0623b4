// The "&Box" outline: a red frame two pixels wide, centred on the box's edges.
#pragma once

#include "analyze_frame.h"
#include "display_surface.h"

// Draws columns left - 1, left, right - 1 and right over rows top - 1 .. bottom, and rows top - 1,
// top, bottom - 1 and bottom over columns left - 1 .. right, in red (bytes 0, 0, 255), clipped to
// the surface.
void DrawBoxOutline(const RegionBox& box, DisplaySurface& surface);
