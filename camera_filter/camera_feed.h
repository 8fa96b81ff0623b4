// Which picture the camera filter sends each time: the newest one a viewer published in the
// shared frames, or the still picture when none is usable (no viewer, one that stopped or hung,
// a block with bad values).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "sample_formats.h"
#include "shared_frames.h"

// A published picture older than this counts as gone: its viewer stopped without saying so.
inline constexpr std::int64_t STALE_FRAME_MS = 1000;

// One stream's state, kept between samples.
struct CameraFeed {
    std::vector<std::uint8_t> published;  // the newest picture read, packed top-down rows
    SharedFrame last;                     // and what it was
    std::vector<std::uint8_t> still;      // the still picture at stillSize, drawn once per size
    PixelSize stillSize;
};

// Fills sample (SampleBytes(format) bytes) from block, which may be empty (nothing to map). True
// when it holds a published picture, false when it holds the still picture.
bool FillCameraSample(CameraFeed& feed, std::span<const std::uint8_t> block,
                      const SampleFormat& format, std::span<std::uint8_t> sample,
                      std::int64_t nowMs);

// The size of the picture being published in block now, or IDLE_CAMERA_SIZE when none is.
PixelSize PublishedSize(std::span<const std::uint8_t> block, std::int64_t nowMs);
