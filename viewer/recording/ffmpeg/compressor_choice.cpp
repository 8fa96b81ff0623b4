#include "compressor_choice.h"

#include <string_view>

#include "encoder_setup.h"

std::vector<CompressorOption> AvailableCompressors(const RecordingFormat& format) {
    const AVOutputFormat* avi = av_guess_format("avi", nullptr, nullptr);
    std::vector<CompressorOption> options;
    for (const EncoderSetup& setup : EncoderSetups()) {
        const AVCodec* codec = avcodec_find_encoder_by_name(setup.encoderName);
        if (codec == nullptr || avi == nullptr ||
            avformat_query_codec(avi, codec->id, FF_COMPLIANCE_NORMAL) != 1) {
            continue;
        }
        // Uncompressed frames go to the file as they are; any other encoder must take this size.
        if (std::string_view(setup.encoderName) != UNCOMPRESSED_ENCODER &&
            OpenEncoder(setup, {setup.encoderName}, format) == nullptr) {
            continue;
        }
        options.push_back({setup.encoderName, setup.label, setup.lossy});
    }
    return options;
}

std::optional<CompressorChoice> PreselectedChoice(const std::vector<CompressorOption>& options,
                                                  const RecordingFormat&) {
    if (options.empty()) {
        return std::nullopt;
    }
    return CompressorChoice{options.front().encoderName};
}
