// What the camera shows while no viewer publishes: the program's emblem on a dark ground, so a
// program that opened the camera shows something known rather than black or noise.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry.h"

// The still picture at size: packed top-down rows of 24-bit pixels (blue, green, red).
std::vector<std::uint8_t> DrawStillPicture(PixelSize size);
