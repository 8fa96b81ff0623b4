// Nearest-neighbour stretching, shared by the overlay sprites and the picture shown in the window,
// so every stretch in the viewer drops or repeats whole pixels the same way and never blends.
#pragma once

#include <cstdint>

// The source index that destination index d (0 <= d < dstSize) shows when srcSize pixels are
// stretched over dstSize: the source pixel under the destination pixel's centre. Always in
// 0 .. srcSize - 1 for positive sizes; equal sizes map one to one.
inline std::int32_t NearestSourceIndex(std::int32_t d, std::int32_t dstSize, std::int32_t srcSize) {
    return static_cast<std::int32_t>((2 * static_cast<std::int64_t>(d) + 1) * srcSize /
                                     (2 * static_cast<std::int64_t>(dstSize)));
}
