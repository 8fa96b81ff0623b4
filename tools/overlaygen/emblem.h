// The overlay artwork: a sunburst badge drawn procedurally, one picture per animation frame.
#pragma once

#include <cstdint>
#include <vector>

#include "frame_image.h"

// The number of frames in one loop of the motion: frames 1 .. 68 make the loop and frame 0 equals
// frame 68, because the viewer shows 0, 1, ..., 68 and then 1, 2, ... again.
inline constexpr std::int32_t EMBLEM_LOOP_FRAMES = 68;

// Frame number frame (0 .. 68) as a size x size picture, rows bottom-up. Pixels outside the badge
// are pure green (0, 255, 0), the viewer's transparency key; no pixel of the badge is.
FrameImage DrawEmblemFrame(std::int32_t size, std::int32_t frame);

// The badge at rest (as in frame 0), as the program's icon and the camera's still picture: size x
// size pixels, rows top-down, four bytes each (red, green, blue, alpha). Outside the badge is
// transparent; the edge is blended from grid x grid samples a pixel, which cost grid squared.
std::vector<std::uint8_t> DrawEmblemIcon(std::int32_t size, int grid);
