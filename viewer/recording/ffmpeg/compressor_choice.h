// The compressors a recording can use, as plain data: a chooser (the compressor dialog, or a test)
// shows the options and answers with a choice. Every frame is written as a key frame whatever the
// compressor, so there is no key-frame interval to choose.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "compressor_defaults.h"
#include "video_writer.h"

inline constexpr const char* UNCOMPRESSED_ENCODER = "rawvideo";

struct CompressorOption {
    std::string encoderName;  // what the choice names, e.g. "mjpeg"
    std::string label;        // what the user sees, e.g. "Motion JPEG"
    bool hasQuality = false;  // lossy: quality and data rate apply
};

struct CompressorChoice {
    std::string encoderName = UNCOMPRESSED_ENCODER;
    int quality = DEFAULT_QUALITY;  // QUALITY_MIN (smallest file) to QUALITY_MAX (best picture)
    std::int32_t dataRate = 0;      // kilobytes per second the encoder aims at; 0: quality decides
};

// Shows the options (may wait for the user) and returns the choice, or nothing when cancelled.
using ChooseCompressorFunction = std::function<std::optional<CompressorChoice>(
    const std::vector<CompressorOption>&, const RecordingFormat&)>;

// The compressors that this FFmpeg build has, that the AVI file can hold and that accept frames of
// this size, uncompressed 24-bit first (the one to preselect).
std::vector<CompressorOption> AvailableCompressors(const RecordingFormat& format);

// The preselected option with its default settings, as a chooser that asks nobody.
std::optional<CompressorChoice> PreselectedChoice(const std::vector<CompressorOption>& options,
                                                  const RecordingFormat& format);
