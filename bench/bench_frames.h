// Synthetic frames for the analysis benchmarks, the same in every benchmark program.
#pragma once

#include <cstdint>
#include <functional>

#include "frame_image.h"

// A face-sized skin oval with dark eyes and mouth, a hand, two small skin specks, on a
// non-skin background with mild noise: a few large regions, like a real scene.
FrameImage MakeFewRegionsFrame(std::int32_t width, std::int32_t height);

// Uniformly random bytes: thousands of tiny regions, the worst case for labelling.
FrameImage MakeNoiseFrame(std::int32_t width, std::int32_t height);

// Skin squares just above the size limit in a grid: dozens of regions that "&All" keeps.
FrameImage MakeManyRegionsFrame(std::int32_t width, std::int32_t height);

// Mean wall-clock seconds of one call, over at least minSeconds of repeated calls.
double SecondsPerCall(const std::function<void()>& call, double minSeconds = 0.2);
