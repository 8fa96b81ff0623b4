#include "clip_reader.h"

#include "libav_handles.h"

namespace {

// The decoded picture in BGR24, honouring a negative line size (bottom-up raw frames).
std::vector<std::uint8_t> UprightBgr(const AVFrame& frame) {
    std::vector<std::uint8_t> picture(static_cast<std::size_t>(frame.width) * frame.height * 3);
    const ScalerPtr scaler(sws_getContext(
        frame.width, frame.height, static_cast<AVPixelFormat>(frame.format), frame.width,
        frame.height, AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr, nullptr));
    std::uint8_t* const rows[1] = {picture.data()};
    const int rowStep[1] = {3 * frame.width};
    sws_scale(scaler.get(), frame.data, frame.linesize, 0, frame.height, rows, rowStep);
    return picture;
}

struct InputFile {
    AVFormatContext* file = nullptr;
    ~InputFile() { avformat_close_input(&file); }
};

}  // namespace

std::optional<ClipInfo> ReadClip(const std::string& path) {
    av_log_set_level(AV_LOG_ERROR);  // the deprecated full-range formats of JPEG decoders warn
    InputFile input;
    if (avformat_open_input(&input.file, path.c_str(), nullptr, nullptr) < 0 ||
        avformat_find_stream_info(input.file, nullptr) < 0 || input.file->nb_streams != 1) {
        return std::nullopt;
    }
    AVStream* stream = input.file->streams[0];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    const CodecContextPtr decoder(avcodec_alloc_context3(codec));
    if (codec == nullptr || decoder == nullptr ||
        avcodec_parameters_to_context(decoder.get(), stream->codecpar) < 0 ||
        avcodec_open2(decoder.get(), codec, nullptr) < 0) {
        return std::nullopt;
    }
    ClipInfo clip;
    clip.codec = codec->name;
    if (const AVDictionaryEntry* title = av_dict_get(stream->metadata, "title", nullptr, 0)) {
        clip.streamTitle = title->value;
    }
    clip.width = stream->codecpar->width;
    clip.height = stream->codecpar->height;
    clip.frameRateNum = stream->r_frame_rate.num;
    clip.frameRateDen = stream->r_frame_rate.den;
    clip.indexEntries = avformat_index_get_entries_count(stream);
    for (int i = 0; i < clip.indexEntries; ++i) {
        clip.everyIndexEntryKey &=
            (avformat_index_get_entry(stream, i)->flags & AVINDEX_KEYFRAME) != 0;
    }

    const PacketPtr packet(av_packet_alloc());
    const FramePtr frame(av_frame_alloc());
    const auto receive = [&] {
        while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
            clip.lastPicture = UprightBgr(*frame);
            if (clip.decodedFrames++ == 0) {
                clip.firstPicture = clip.lastPicture;
            }
        }
    };
    while (av_read_frame(input.file, packet.get()) >= 0) {
        ++clip.packets;
        clip.everyPacketKey &= (packet->flags & AV_PKT_FLAG_KEY) != 0;
        avcodec_send_packet(decoder.get(), packet.get());
        av_packet_unref(packet.get());
        receive();
    }
    avcodec_send_packet(decoder.get(), nullptr);
    receive();
    return clip;
}
