// How each compressor on offer is set up in libavcodec: the candidates and the opening of an
// encoder that makes every frame a key frame.
#pragma once

#include <span>
#include <string_view>

#include "compressor_choice.h"
#include "libav_handles.h"

struct EncoderSetup {
    const char* encoderName;
    const char* label;
    AVPixelFormat pixelFormat;  // what the frames are converted to for the encoder
    bool fullRange;             // YUV over the whole 0..255 range, as JPEG has it
    bool lossy;                 // quality and data rate apply
};

// The candidates in the order they are offered. The first, uncompressed 24-bit, takes the frames
// as they are and needs no encoder.
std::span<const EncoderSetup> EncoderSetups();

// The candidate of that name, or nullptr.
const EncoderSetup* FindEncoderSetup(std::string_view encoderName);

// An encoder for frames of the recording's size and rate, or null when this FFmpeg build lacks it
// or it refuses the size.
CodecContextPtr OpenEncoder(const EncoderSetup& setup, const CompressorChoice& choice,
                            const RecordingFormat& format);
