// Reads a recorded clip back through libavformat and libavcodec, as a player would.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct ClipInfo {
    std::string codec;
    std::string streamTitle;
    int width = 0;
    int height = 0;
    int frameRateNum = 0;
    int frameRateDen = 0;
    int packets = 0;
    bool everyPacketKey = true;
    int indexEntries = 0;
    bool everyIndexEntryKey = true;
    int decodedFrames = 0;
    // Upright pictures as displayed: top row first, 3 * width bytes a row in BGR order.
    std::vector<std::uint8_t> firstPicture, lastPicture;
};

// Nothing when the file cannot be opened as a clip with a video stream.
std::optional<ClipInfo> ReadClip(const std::string& path);
