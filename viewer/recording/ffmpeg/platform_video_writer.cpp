#include "platform_video_writer.h"

#include <cstring>
#include <string_view>
#include <utility>

#include "encoder_setup.h"

extern "C" {
#include <libavutil/opt.h>
}

namespace {

// A BI_RGB DIB with a positive height: rows stored bottom row first, as the frames come. The
// muxer writes raw RGB top-down (negative height) unless the extradata ends in "BottomUp"; it
// leaves those bytes out of the file, and demuxers add them back for their readers.
bool DescribeBottomUpFrames(AVCodecParameters* parameters, const RecordingFormat& format) {
    static constexpr char BOTTOM_UP[] = "BottomUp";
    parameters->codec_type = AVMEDIA_TYPE_VIDEO;
    parameters->codec_id = AV_CODEC_ID_RAWVIDEO;
    parameters->codec_tag = 0;
    parameters->format = AV_PIX_FMT_BGR24;
    parameters->bits_per_coded_sample = 24;
    parameters->width = format.width;
    parameters->height = format.height;
    parameters->extradata =
        static_cast<std::uint8_t*>(av_mallocz(sizeof BOTTOM_UP + AV_INPUT_BUFFER_PADDING_SIZE));
    if (parameters->extradata == nullptr) {
        return false;
    }
    std::memcpy(parameters->extradata, BOTTOM_UP, sizeof BOTTOM_UP);
    parameters->extradata_size = sizeof BOTTOM_UP;
    return true;
}

// Converts the frames to the encoder's pixel format, with the YUV range the encoder declares (the
// range is set before the converter is built, as ready converters may keep their tables).
ScalerPtr MakeScaler(const RecordingFormat& format, const EncoderSetup& setup) {
    ScalerPtr scaler(sws_alloc_context());
    if (scaler == nullptr) {
        return nullptr;
    }
    SwsContext* s = scaler.get();
    av_opt_set_int(s, "srcw", format.width, 0);
    av_opt_set_int(s, "srch", format.height, 0);
    av_opt_set_int(s, "src_format", AV_PIX_FMT_BGR24, 0);
    av_opt_set_int(s, "src_range", 1, 0);
    av_opt_set_int(s, "dstw", format.width, 0);
    av_opt_set_int(s, "dsth", format.height, 0);
    av_opt_set_int(s, "dst_format", setup.pixelFormat, 0);
    av_opt_set_int(s, "dst_range", setup.fullRange ? 1 : 0, 0);
    av_opt_set_int(s, "sws_flags", SWS_BILINEAR, 0);
    if (sws_init_context(s, nullptr, nullptr) < 0) {
        return nullptr;
    }
    return scaler;
}

}  // namespace

PlatformVideoWriter::PlatformVideoWriter(ChooseCompressorFunction choose)
    : choose_(std::move(choose)) {
    // FFmpeg's notes on how it sets an encoder up would reach stderr; a recording reports nothing.
    av_log_set_level(AV_LOG_ERROR);
}

PlatformVideoWriter::~PlatformVideoWriter() {
    Close();
}

bool PlatformVideoWriter::ChooseCompressor(const RecordingFormat& format) {
    if (!choose_) {
        return false;
    }
    const std::optional<CompressorChoice> choice = choose_(AvailableCompressors(format), format);
    if (!choice) {
        return false;
    }
    choice_ = *choice;
    return true;
}

bool PlatformVideoWriter::Open(const std::string& fileName, const RecordingFormat& format) {
    const EncoderSetup* setup = FindEncoderSetup(choice_.encoderName);
    if (setup == nullptr || file_ != nullptr) {
        return false;
    }
    format_ = format;
    AVFormatContext* file = nullptr;
    if (avformat_alloc_output_context2(&file, nullptr, "avi", fileName.c_str()) < 0) {
        return false;
    }
    file_.reset(file);
    AVStream* stream = avformat_new_stream(file, nullptr);
    packet_.reset(av_packet_alloc());
    if (stream == nullptr || packet_ == nullptr ||
        av_dict_set(&stream->metadata, "title", RECORDING_STREAM_NAME, 0) < 0) {
        return false;
    }
    stream->time_base = {1, format.fps};
    stream->avg_frame_rate = {format.fps, 1};
    if (std::string_view(setup->encoderName) == UNCOMPRESSED_ENCODER) {
        if (!DescribeBottomUpFrames(stream->codecpar, format)) {
            return false;
        }
    } else if (!PrepareEncoder(*setup, format, stream->codecpar)) {
        return false;
    }
    if (avio_open(&file->pb, fileName.c_str(), AVIO_FLAG_WRITE) < 0 ||
        avformat_write_header(file, nullptr) < 0) {
        return false;
    }
    headerWritten_ = true;
    return true;
}

bool PlatformVideoWriter::PrepareEncoder(const EncoderSetup& setup, const RecordingFormat& format,
                                         AVCodecParameters* parameters) {
    encoder_ = OpenEncoder(setup, choice_, format);
    if (encoder_ == nullptr || avcodec_parameters_from_context(parameters, encoder_.get()) < 0) {
        return false;
    }
    scaler_ = MakeScaler(format, setup);
    picture_.reset(av_frame_alloc());
    if (scaler_ == nullptr || picture_ == nullptr) {
        return false;
    }
    picture_->format = setup.pixelFormat;
    picture_->width = format.width;
    picture_->height = format.height;
    return av_frame_get_buffer(picture_.get(), 0) >= 0;
}

bool PlatformVideoWriter::WriteFrame(std::int32_t index, const std::uint8_t* frame) {
    if (!headerWritten_ || frame == nullptr) {
        return false;
    }
    if (encoder_ == nullptr) {
        // The frame goes out as it is, without a copy: the muxer only reads a packet it does not
        // own, and rows already 4-byte aligned need no reshuffling.
        packet_->data = const_cast<std::uint8_t*>(frame);
        packet_->size = static_cast<int>(format_.frameBytes);
        packet_->pts = index;
        packet_->dts = index;
        packet_->duration = 1;
        return WritePacket();
    }
    if (av_frame_make_writable(picture_.get()) < 0) {
        return false;
    }
    // Encoders take top-down pictures: the rows are read from the last one backwards.
    const std::uint8_t* const rows[1] = {frame + static_cast<std::size_t>(format_.height - 1) *
                                                     format_.rowBytes};
    const int rowStep[1] = {-format_.rowBytes};
    sws_scale(scaler_.get(), rows, rowStep, 0, format_.height, picture_->data, picture_->linesize);
    picture_->pts = index;
    picture_->quality = encoder_->global_quality;  // a fixed quantiser is taken from each frame
    return avcodec_send_frame(encoder_.get(), picture_.get()) >= 0 && ReceivePackets();
}

bool PlatformVideoWriter::Close() {
    bool finished = false;
    if (headerWritten_) {
        if (encoder_ != nullptr && avcodec_send_frame(encoder_.get(), nullptr) >= 0) {
            ReceivePackets();
        }
        // Writes the index and the sizes, then flushes; it reports any write that failed on the
        // way, a full disk or a file-size limit included.
        finished = av_write_trailer(file_.get()) >= 0;
        headerWritten_ = false;
    }
    file_.reset();
    encoder_.reset();
    scaler_.reset();
    picture_.reset();
    packet_.reset();
    return finished;
}

bool PlatformVideoWriter::ReceivePackets() {
    int result = 0;
    while ((result = avcodec_receive_packet(encoder_.get(), packet_.get())) == 0) {
        if (!WritePacket()) {
            return false;
        }
    }
    return result == AVERROR(EAGAIN) || result == AVERROR_EOF;
}

bool PlatformVideoWriter::WritePacket() {
    // Every frame is whole in itself (the encoders make intra frames only), and the index says so.
    packet_->flags |= AV_PKT_FLAG_KEY;
    packet_->stream_index = 0;
    av_packet_rescale_ts(packet_.get(), {1, format_.fps}, file_->streams[0]->time_base);
    const bool written = av_write_frame(file_.get(), packet_.get()) >= 0;
    av_packet_unref(packet_.get());
    return written;
}
