#include "encoder_setup.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// Lossless candidates keep the RGB samples; the lossy ones take the YUV their players expect.
constexpr std::array<EncoderSetup, 5> ENCODER_SETUPS{{
    {UNCOMPRESSED_ENCODER, "Uncompressed (24-bit RGB)", AV_PIX_FMT_BGR24, false, false},
    {"mjpeg", "Motion JPEG", AV_PIX_FMT_YUV420P, true, true},
    {"ffv1", "FFV1 (lossless)", AV_PIX_FMT_0RGB32, false, false},
    {"huffyuv", "HuffYUV (lossless)", AV_PIX_FMT_RGB24, false, false},
    {"mpeg4", "MPEG-4 Part 2", AV_PIX_FMT_YUV420P, false, true},
}};

// Quality 1..100 onto the quantiser scale 31..1 that MPEG-style encoders take.
int QuantiserFor(int quality) {
    const int q = std::clamp(quality, QUALITY_MIN, QUALITY_MAX);
    return 31 - (q - QUALITY_MIN) * 30 / (QUALITY_MAX - QUALITY_MIN);
}

}  // namespace

std::span<const EncoderSetup> EncoderSetups() {
    return ENCODER_SETUPS;
}

const EncoderSetup* FindEncoderSetup(std::string_view encoderName) {
    for (const EncoderSetup& setup : ENCODER_SETUPS) {
        if (encoderName == setup.encoderName) {
            return &setup;
        }
    }
    return nullptr;
}

CodecContextPtr OpenEncoder(const EncoderSetup& setup, const CompressorChoice& choice,
                            const RecordingFormat& format) {
    const AVCodec* codec = avcodec_find_encoder_by_name(setup.encoderName);
    if (codec == nullptr || format.width <= 0 || format.height <= 0 || format.fps <= 0) {
        return nullptr;
    }
    CodecContextPtr encoder(avcodec_alloc_context3(codec));
    if (encoder == nullptr) {
        return nullptr;
    }
    encoder->width = format.width;
    encoder->height = format.height;
    encoder->pix_fmt = setup.pixelFormat;
    encoder->color_range = setup.fullRange ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    encoder->time_base = {1, format.fps};
    encoder->framerate = {format.fps, 1};
    // Every frame a key frame, so the index may mark each one as such.
    encoder->gop_size = 1;
    encoder->max_b_frames = 0;
    if (setup.lossy) {
        if (choice.dataRate > 0) {
            encoder->bit_rate = std::int64_t{choice.dataRate} * 1024 * 8;
        } else {
            encoder->flags |= AV_CODEC_FLAG_QSCALE;
            encoder->global_quality = FF_QP2LAMBDA * QuantiserFor(choice.quality);
        }
    }
    if (avcodec_open2(encoder.get(), codec, nullptr) < 0) {
        return nullptr;
    }
    return encoder;
}
