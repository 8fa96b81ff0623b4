// The Linux reading and writing of ravk-mask: libavformat demuxes every container FFmpeg reads and
// muxes the output's; libavcodec decodes the video and encodes the covered frames (libx264, or the
// container's usual codec); libswscale turns frames into the viewer's pictures and back. The other
// streams' packets are copied unchanged.
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>
#include <utility>

#include "libav_handles.h"
#include "video_files.h"
#include "yuv_area.h"

extern "C" {
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

namespace {

struct InputDeleter {
    void operator()(AVFormatContext* file) const { avformat_close_input(&file); }
};
using InputFilePtr = std::unique_ptr<AVFormatContext, InputDeleter>;

// A frame's own data: the decoded picture, whose unchanged parts are encoded as they came, and
// the other streams' packets read before it, written with it.
struct FrameExtras {
    FramePtr decoded;
    std::vector<AVPacket*> packets;
    FrameExtras() = default;
    FrameExtras(const FrameExtras&) = delete;
    FrameExtras& operator=(const FrameExtras&) = delete;
    ~FrameExtras() {
        for (AVPacket* packet : packets) {
            av_packet_free(&packet);
        }
    }
};

std::string LibavError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

struct ContainerChoice {
    const char* extension;
    const char* muxer;
};
constexpr ContainerChoice CONTAINERS[] = {
    {".mp4", "mp4"}, {".mkv", "matroska"}, {".webm", "webm"}, {".avi", "avi"}, {".mov", "mov"}};

// The interrupt flag, for the blocking calls of libavformat.
std::atomic<bool>* interruptFlag = nullptr;

int InterruptCallback(void*) {
    return interruptFlag != nullptr && interruptFlag->load() ? 1 : 0;
}

extern "C" void OnInterrupt(int) {
    if (interruptFlag != nullptr) {
        interruptFlag->store(true);
    }
}

// How often the display turns the stored picture clockwise, from the stream's display matrix.
int QuarterTurns(const AVStream* stream) {
    const std::uint8_t* matrix =
        av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
    if (matrix == nullptr) {
        return 0;
    }
    const double counterClockwise =
        av_display_rotation_get(reinterpret_cast<const std::int32_t*>(matrix));
    if (std::isnan(counterClockwise)) {
        return 0;
    }
    const long turns = std::lround(-counterClockwise / 90.0);
    return static_cast<int>(((turns % 4) + 4) % 4);
}

// Keeps the tags a reader shows (language, title, handler) and the disposition of a stream.
void CopyStreamTags(const AVStream* from, AVStream* to) {
    for (const char* key : {"language", "title", "handler_name"}) {
        const AVDictionaryEntry* entry = av_dict_get(from->metadata, key, nullptr, 0);
        if (entry != nullptr) {
            av_dict_set(&to->metadata, key, entry->value, 0);
        }
    }
    to->disposition = from->disposition;
}

class PlatformVideoFiles final : public VideoFiles {
  public:
    PlatformVideoFiles() = default;
    PlatformVideoFiles(const PlatformVideoFiles&) = delete;
    PlatformVideoFiles& operator=(const PlatformVideoFiles&) = delete;
    ~PlatformVideoFiles() override {
        sws_freeContext(toPicture_);
        sws_freeContext(fromSurface_);
    }

    bool Open(const std::string& input, const std::string& outputFile,
              const std::string& outputName, const EncodeOptions& options, std::string& error) {
        inputName_ = input;
        outputName_ = outputName;
        return OpenInput(input, error) && OpenOutput(outputFile, outputName, options, error);
    }

    const VideoFacts& Facts() const override { return facts_; }

    ReadResult Read(MaskFrame& frame, std::FILE* warnings) override;
    bool Write(MaskFrame& frame) override;
    bool Finish() override;
    std::string Failure() const override {
        return !readFailure_.empty() ? readFailure_ : writeFailure_;
    }

  private:
    bool OpenInput(const std::string& input, std::string& error);
    bool OpenOutput(const std::string& outputFile, const std::string& outputName,
                    const EncodeOptions& options, std::string& error);
    bool OpenEncoder(const AVOutputFormat* format, bool webm, const EncodeOptions& options,
                     std::string& error);
    bool ToPicture(const AVFrame* decoded, FrameImage& picture);
    bool Drain(bool flush);
    bool WritePackets(FrameExtras& extras);
    bool Encode(AVFrame* frame, std::int64_t pts);
    bool WriteFailed(int code) {
        writeFailure_ = "cannot write " + outputName_ + ": " + LibavError(code);
        return false;
    }
    bool EndedEarly() const;

    std::string inputName_;
    std::string outputName_;
    VideoFacts facts_;

    // The reading side, decode thread only.
    InputFilePtr in_;
    AVStream* videoIn_ = nullptr;
    CodecContextPtr decoder_;
    PacketPtr readPacket_{av_packet_alloc()};
    FramePtr decoded_{av_frame_alloc()};
    SwsContext* toPicture_ = nullptr;
    std::vector<std::uint8_t> converted_;  // the converter's padded output
    std::vector<int> outputIndex_;         // per input stream: its output stream, or -1
    std::shared_ptr<FrameExtras> boarding_ = std::make_shared<FrameExtras>();
    bool passThrough_ = false;  // 4:2:0 in and out: unchanged parts are encoded as decoded
    bool inputEnded_ = false;
    std::int64_t framesRead_ = 0;
    std::int64_t firstPts_ = AV_NOPTS_VALUE;
    std::int64_t lastPts_ = AV_NOPTS_VALUE;
    std::int64_t lastDuration_ = 0;
    int colorTable_ = SWS_CS_DEFAULT;
    std::string readFailure_;

    // The writing side, encode thread only (opened on the main thread before).
    OutputFilePtr out_;
    AVStream* videoOut_ = nullptr;
    CodecContextPtr encoder_;
    FramePtr encoding_{av_frame_alloc()};
    PacketPtr encoded_{av_packet_alloc()};
    SwsContext* fromSurface_ = nullptr;
    bool exactTimes_ = true;  // the input's time stamps, else one frame per tick of 1 / rate
    std::int64_t lastEncodedPts_ = AV_NOPTS_VALUE;
    std::string writeFailure_;
};

bool PlatformVideoFiles::OpenInput(const std::string& input, std::string& error) {
    AVFormatContext* file = avformat_alloc_context();
    if (file == nullptr) {
        error = "out of memory";
        return false;
    }
    file->interrupt_callback.callback = InterruptCallback;
    int code = avformat_open_input(&file, input.c_str(), nullptr, nullptr);
    if (code < 0) {
        error = "cannot read " + input + ": " + LibavError(code);
        return false;
    }
    in_.reset(file);
    code = avformat_find_stream_info(file, nullptr);
    if (code < 0) {
        error = "cannot read " + input + ": " + LibavError(code);
        return false;
    }
    int best = -1;
    for (unsigned i = 0; i < file->nb_streams; ++i) {
        const AVStream* stream = file->streams[i];
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) == 0 && best < 0) {
            best = static_cast<int>(i);
        }
    }
    best = av_find_best_stream(file, AVMEDIA_TYPE_VIDEO, best, -1, nullptr, 0);
    if (best < 0) {
        error = input + " has no video stream";
        return false;
    }
    videoIn_ = file->streams[best];
    const AVCodec* codec = avcodec_find_decoder(videoIn_->codecpar->codec_id);
    if (codec == nullptr) {
        error = "no decoder for " + input + "'s video (" +
                avcodec_get_name(videoIn_->codecpar->codec_id) + ")";
        return false;
    }
    decoder_.reset(avcodec_alloc_context3(codec));
    if (decoder_ == nullptr ||
        avcodec_parameters_to_context(decoder_.get(), videoIn_->codecpar) < 0) {
        error = "out of memory";
        return false;
    }
    decoder_->pkt_timebase = videoIn_->time_base;
    decoder_->thread_count = 0;
    // A damaged frame is reported, and then left out, rather than patched over by the decoder.
    decoder_->err_recognition |= AV_EF_EXPLODE;
    code = avcodec_open2(decoder_.get(), codec, nullptr);
    if (code < 0) {
        error = "cannot decode " + input + "'s video: " + LibavError(code);
        return false;
    }
    if (decoder_->width <= 0 || decoder_->height <= 0) {
        error = input + "'s video has no frame size";
        return false;
    }
    facts_.width = decoder_->width;
    facts_.height = decoder_->height;
    facts_.quarterTurns = QuarterTurns(videoIn_);
    facts_.expectedFrames = videoIn_->nb_frames;
    const AVRational rate = av_guess_frame_rate(file, videoIn_, nullptr);
    if (facts_.expectedFrames <= 0 && rate.num > 0 && rate.den > 0) {
        if (videoIn_->duration > 0) {
            facts_.expectedFrames =
                av_rescale_q(videoIn_->duration, videoIn_->time_base, av_inv_q(rate));
        } else if (file->duration > 0) {
            facts_.expectedFrames = av_rescale_q(file->duration, AV_TIME_BASE_Q, av_inv_q(rate));
        }
    }
    return true;
}

bool PlatformVideoFiles::OpenEncoder(const AVOutputFormat* format, bool webm,
                                     const EncodeOptions& options, std::string& error) {
    static constexpr const char* WEBM_ENCODERS[] = {"libvpx-vp9", "libvpx"};
    static constexpr const char* OTHER_ENCODERS[] = {"libx264"};
    const AVCodec* codec = nullptr;
    for (const char* name : webm ? std::span<const char* const>(WEBM_ENCODERS)
                                 : std::span<const char* const>(OTHER_ENCODERS)) {
        codec = avcodec_find_encoder_by_name(name);
        if (codec != nullptr &&
            (webm || avformat_query_codec(format, codec->id, FF_COMPLIANCE_NORMAL) != 0)) {
            break;
        }
        codec = nullptr;
    }
    if (codec == nullptr) {
        codec = avcodec_find_encoder(format->video_codec);
    }
    if (codec == nullptr) {
        error = "no video encoder for " + outputName_;
        return false;
    }
    const bool x264 = std::strcmp(codec->name, "libx264") == 0;
    const bool vpx = std::strncmp(codec->name, "libvpx", 6) == 0;
    if (!options.preset.empty() && !x264) {
        error = "--preset is for libx264; " + outputName_ + " is encoded with " + codec->name;
        return false;
    }
    encoder_.reset(avcodec_alloc_context3(codec));
    AVCodecContext* e = encoder_.get();
    if (e == nullptr) {
        error = "out of memory";
        return false;
    }
    const AVRational rate = av_guess_frame_rate(in_.get(), videoIn_, nullptr);
    e->width = facts_.width;
    e->height = facts_.height;
    e->framerate = rate.num > 0 && rate.den > 0 ? rate : AVRational{25, 1};
    exactTimes_ = (x264 || vpx) && std::strcmp(format->name, "avi") != 0;
    e->time_base = exactTimes_ ? videoIn_->time_base : av_inv_q(e->framerate);
    e->sample_aspect_ratio = av_guess_sample_aspect_ratio(in_.get(), videoIn_, nullptr);
    // 4:2:0 plays everywhere; an encoder without it gets its first format.
    e->pix_fmt = AV_PIX_FMT_YUV420P;
    if (codec->pix_fmts != nullptr) {
        const AVPixelFormat* f = codec->pix_fmts;
        while (*f != AV_PIX_FMT_NONE && *f != AV_PIX_FMT_YUV420P) {
            ++f;
        }
        e->pix_fmt = *f == AV_PIX_FMT_NONE ? codec->pix_fmts[0] : AV_PIX_FMT_YUV420P;
    }
    e->color_range = AVCOL_RANGE_MPEG;
    passThrough_ = e->pix_fmt == AV_PIX_FMT_YUV420P && decoder_->pix_fmt == AV_PIX_FMT_YUV420P &&
                   decoder_->color_range != AVCOL_RANGE_JPEG;
    e->colorspace = decoder_->colorspace;
    e->color_primaries = decoder_->color_primaries;
    e->color_trc = decoder_->color_trc;
    e->thread_count = 0;
    if ((format->flags & AVFMT_GLOBALHEADER) != 0) {
        e->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    AVDictionary* settings = nullptr;
    if (x264) {
        if (!options.preset.empty()) {
            av_dict_set(&settings, "preset", options.preset.c_str(), 0);
        }
        if (options.crf >= 0) {
            av_dict_set_int(&settings, "crf", std::min(options.crf, 51), 0);
        }
    } else if (vpx) {
        // Constant quality, as libx264's default is; libvpx's own default is a low bit rate.
        e->bit_rate = 0;
        av_dict_set_int(&settings, "crf", options.crf >= 0 ? options.crf : 32, 0);
        av_dict_set(&settings, "row-mt", "1", 0);
        av_dict_set(&settings, "cpu-used", "4", 0);
        if (std::strcmp(codec->name, "libvpx") == 0) {
            e->bit_rate = 4000000;  // VP8 takes crf only below a ceiling
        }
    } else if (options.crf >= 0) {
        e->flags |= AV_CODEC_FLAG_QSCALE;
        e->global_quality = FF_QP2LAMBDA * std::clamp(options.crf / 2, 1, 31);
    } else {
        e->flags |= AV_CODEC_FLAG_QSCALE;
        e->global_quality = FF_QP2LAMBDA * 3;
    }
    const int code = avcodec_open2(e, codec, &settings);
    av_dict_free(&settings);
    if (code < 0) {
        error = "cannot encode " + outputName_ + " with " + codec->name + ": " + LibavError(code);
        return false;
    }
    encoding_->format = e->pix_fmt;
    encoding_->width = e->width;
    encoding_->height = e->height;
    if (av_frame_get_buffer(encoding_.get(), 0) < 0) {
        error = "out of memory";
        return false;
    }
    return true;
}

bool PlatformVideoFiles::OpenOutput(const std::string& outputFile, const std::string& outputName,
                                    const EncodeOptions& options, std::string& error) {
    const char* muxer = nullptr;
    const std::string extension = [&] {
        std::string e = outputName.substr(std::min(outputName.rfind('.'), outputName.size()));
        std::transform(e.begin(), e.end(), e.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return e;
    }();
    for (const ContainerChoice& choice : CONTAINERS) {
        if (extension == choice.extension) {
            muxer = choice.muxer;
        }
    }
    AVFormatContext* file = nullptr;
    if (muxer == nullptr ||
        avformat_alloc_output_context2(&file, nullptr, muxer, outputFile.c_str()) < 0) {
        error = "cannot write " + outputName;
        return false;
    }
    out_.reset(file);
    file->interrupt_callback.callback = InterruptCallback;
    if (!OpenEncoder(file->oformat, std::strcmp(muxer, "webm") == 0, options, error)) {
        return false;
    }
    videoOut_ = avformat_new_stream(file, nullptr);
    if (videoOut_ == nullptr ||
        avcodec_parameters_from_context(videoOut_->codecpar, encoder_.get()) < 0) {
        error = "out of memory";
        return false;
    }
    videoOut_->time_base = encoder_->time_base;
    videoOut_->avg_frame_rate = encoder_->framerate;
    videoOut_->sample_aspect_ratio = encoder_->sample_aspect_ratio;
    CopyStreamTags(videoIn_, videoOut_);
    std::size_t size = 0;
    const std::uint8_t* matrix =
        av_stream_get_side_data(videoIn_, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (matrix != nullptr) {
        std::uint8_t* copy = av_stream_new_side_data(videoOut_, AV_PKT_DATA_DISPLAYMATRIX, size);
        if (copy != nullptr) {
            std::memcpy(copy, matrix, size);
        }
    }

    // Audio and subtitles go across unchanged; a codec the container cannot hold is refused,
    // data streams and attached pictures are left out.
    outputIndex_.assign(in_->nb_streams, -1);
    outputIndex_[static_cast<std::size_t>(videoIn_->index)] = videoOut_->index;
    for (unsigned i = 0; i < in_->nb_streams; ++i) {
        const AVStream* stream = in_->streams[i];
        const AVMediaType type = stream->codecpar->codec_type;
        if (stream == videoIn_ || (type != AVMEDIA_TYPE_AUDIO && type != AVMEDIA_TYPE_SUBTITLE)) {
            continue;
        }
        if (avformat_query_codec(file->oformat, stream->codecpar->codec_id, FF_COMPLIANCE_NORMAL) ==
            0) {
            error = std::string("a ") + extension + " file cannot hold " + inputName_ + "'s " +
                    av_get_media_type_string(type) + " (" +
                    avcodec_get_name(stream->codecpar->codec_id) +
                    ") unchanged; choose .mkv for the output";
            return false;
        }
        AVStream* copy = avformat_new_stream(file, nullptr);
        if (copy == nullptr || avcodec_parameters_copy(copy->codecpar, stream->codecpar) < 0) {
            error = "out of memory";
            return false;
        }
        copy->codecpar->codec_tag = 0;
        copy->time_base = stream->time_base;
        CopyStreamTags(stream, copy);
        outputIndex_[i] = copy->index;
    }
    av_dict_copy(&file->metadata, in_->metadata, 0);
    av_dict_set(&file->metadata, "encoder", nullptr, 0);

    int code = avio_open2(&file->pb, outputFile.c_str(), AVIO_FLAG_WRITE, &file->interrupt_callback,
                          nullptr);
    if (code < 0) {
        error = "cannot create " + outputFile + ": " + LibavError(code);
        return false;
    }
    AVDictionary* muxing = nullptr;
    if (std::strcmp(muxer, "mp4") == 0 || std::strcmp(muxer, "mov") == 0) {
        av_dict_set(&muxing, "movflags", "+faststart", 0);  // plays while it downloads
    }
    code = avformat_write_header(file, &muxing);
    av_dict_free(&muxing);
    if (code < 0) {
        error = "cannot write " + outputName + ": " + LibavError(code);
        return false;
    }
    return true;
}

bool PlatformVideoFiles::ToPicture(const AVFrame* decoded, FrameImage& picture) {
    if (picture.width != facts_.width || picture.height != facts_.height) {
        ResizeFrameImage(picture, facts_.width, facts_.height);
    }
    const bool fullRange = decoded->color_range == AVCOL_RANGE_JPEG;
    const int table =
        decoded->colorspace == AVCOL_SPC_UNSPECIFIED ? SWS_CS_DEFAULT : decoded->colorspace;
    toPicture_ = sws_getCachedContext(
        toPicture_, decoded->width, decoded->height, static_cast<AVPixelFormat>(decoded->format),
        facts_.width, facts_.height, AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (toPicture_ == nullptr) {
        return false;
    }
    colorTable_ = table;
    const int* coefficients = sws_getCoefficients(table);
    sws_setColorspaceDetails(toPicture_, coefficients, fullRange ? 1 : 0, coefficients, 1, 0,
                             1 << 16, 1 << 16);
    const int rowBytes = 3 * facts_.width;
    const bool planar420 =
        decoded->format == AV_PIX_FMT_YUV420P || decoded->format == AV_PIX_FMT_YUVJ420P;
    if (planar420 && decoded->width == facts_.width && decoded->height == facts_.height &&
        facts_.width % 64 == 0 && facts_.height % 2 == 0) {
        // Fed its rows bottom first, the converter writes the picture's bottom-up rows in memory
        // order straight into it. Rows of whole vectors leave nothing written past their end.
        const int h = decoded->height;
        const std::uint8_t* const flipped[4] = {
            decoded->data[0] + static_cast<std::ptrdiff_t>(h - 1) * decoded->linesize[0],
            decoded->data[1] + static_cast<std::ptrdiff_t>(h / 2 - 1) * decoded->linesize[1],
            decoded->data[2] + static_cast<std::ptrdiff_t>(h / 2 - 1) * decoded->linesize[2],
            nullptr};
        const int flippedStrides[4] = {-decoded->linesize[0], -decoded->linesize[1],
                                       -decoded->linesize[2], 0};
        std::uint8_t* const planes[4] = {FrameBytes(picture), nullptr, nullptr, nullptr};
        const int strides[4] = {rowBytes, 0, 0, 0};
        return sws_scale(toPicture_, flipped, flippedStrides, 0, h, planes, strides) > 0;
    }
    // Elsewhere libswscale may write whole vectors past a row's end, so it fills a padded picture,
    // whose rows are then copied bottom-up.
    const int stride = FFALIGN(rowBytes, 64);
    converted_.resize(static_cast<std::size_t>(stride) * facts_.height + 64);
    std::uint8_t* const planes[4] = {converted_.data(), nullptr, nullptr, nullptr};
    const int strides[4] = {stride, 0, 0, 0};
    if (sws_scale(toPicture_, decoded->data, decoded->linesize, 0, decoded->height, planes,
                  strides) <= 0) {
        return false;
    }
    for (std::int32_t r = 0; r < facts_.height; ++r) {
        std::memcpy(
            FrameBytes(picture) + static_cast<std::size_t>(facts_.height - 1 - r) * rowBytes,
            converted_.data() + static_cast<std::size_t>(r) * stride, rowBytes);
    }
    return true;
}

bool PlatformVideoFiles::EndedEarly() const {
    std::int64_t durationMs = -1;
    if (videoIn_->duration > 0) {
        durationMs = av_rescale_q(videoIn_->duration, videoIn_->time_base, {1, 1000});
    } else if (in_->duration > 0) {
        durationMs = av_rescale_q(in_->duration, AV_TIME_BASE_Q, {1, 1000});
    }
    if (durationMs <= 0 || firstPts_ == AV_NOPTS_VALUE) {
        return false;
    }
    const std::int64_t endMs =
        av_rescale_q(lastPts_ + lastDuration_ - firstPts_, videoIn_->time_base, {1, 1000});
    return endMs + 1000 + durationMs / 50 < durationMs;
}

ReadResult PlatformVideoFiles::Read(MaskFrame& frame, std::FILE* warnings) {
    AVPacket* packet = readPacket_.get();
    for (;;) {
        int code = avcodec_receive_frame(decoder_.get(), decoded_.get());
        if (code == 0) {
            AVFrame* d = decoded_.get();
            std::int64_t pts = d->best_effort_timestamp;
            if (pts == AV_NOPTS_VALUE) {
                pts = lastPts_ == AV_NOPTS_VALUE
                          ? 0
                          : lastPts_ + std::max<std::int64_t>(1, lastDuration_);
            }
            const double seconds = static_cast<double>(pts) * av_q2d(videoIn_->time_base);
            if ((d->flags & AV_FRAME_FLAG_CORRUPT) != 0 || d->decode_error_flags != 0 ||
                (lastPts_ != AV_NOPTS_VALUE && pts <= lastPts_)) {
                std::fprintf(warnings,
                             "ravk-mask: warning: the frame at %.3f s is damaged; skipped\n",
                             seconds);
                av_frame_unref(d);
                continue;
            }
            if (firstPts_ == AV_NOPTS_VALUE) {
                firstPts_ = pts;
            }
            lastPts_ = pts;
            lastDuration_ = d->pkt_duration > 0 ? d->pkt_duration : 0;
            const bool converted = ToPicture(d, frame.picture);
            if (passThrough_ && d->format == AV_PIX_FMT_YUV420P && d->width == facts_.width &&
                d->height == facts_.height) {
                boarding_->decoded.reset(av_frame_clone(d));
            }
            frame.changedAreaOnly = boarding_->decoded != nullptr;
            av_frame_unref(d);
            if (!converted) {
                readFailure_ = "cannot convert " + inputName_ + "'s frames";
                return ReadResult::Failed;
            }
            frame.pts = pts;
            frame.timeMs = av_rescale_q(pts - firstPts_, videoIn_->time_base, {1, 1000});
            frame.index = framesRead_++;
            frame.platform = std::move(boarding_);
            boarding_ = std::make_shared<FrameExtras>();
            return ReadResult::Frame;
        }
        if (code == AVERROR_EOF) {
            if (EndedEarly()) {
                readFailure_ = inputName_ + " ends early (is it truncated?)";
                return ReadResult::Failed;
            }
            return ReadResult::End;
        }
        if (code != AVERROR(EAGAIN)) {
            readFailure_ = "cannot decode " + inputName_ + ": " + LibavError(code);
            return ReadResult::Failed;
        }
        if (inputEnded_) {
            readFailure_ = "cannot decode the end of " + inputName_;
            return ReadResult::Failed;
        }
        code = av_read_frame(in_.get(), packet);
        if (code == AVERROR_EOF) {
            inputEnded_ = true;
            avcodec_send_packet(decoder_.get(), nullptr);
            continue;
        }
        if (code < 0) {
            readFailure_ = code == AVERROR_EXIT
                               ? "interrupted"
                               : "cannot read " + inputName_ + ": " + LibavError(code);
            return ReadResult::Failed;
        }
        const int output = packet->stream_index < static_cast<int>(outputIndex_.size())
                               ? outputIndex_[static_cast<std::size_t>(packet->stream_index)]
                               : -1;
        if (packet->stream_index == videoIn_->index) {
            const double seconds =
                packet->pts == AV_NOPTS_VALUE
                    ? static_cast<double>(framesRead_)
                    : static_cast<double>(packet->pts) * av_q2d(videoIn_->time_base);
            code = avcodec_send_packet(decoder_.get(), packet);
            av_packet_unref(packet);
            if (code < 0 && code != AVERROR(EAGAIN)) {
                std::fprintf(warnings,
                             "ravk-mask: warning: the frame at %.3f s is damaged (%s); skipped\n",
                             seconds, LibavError(code).c_str());
            }
        } else if (output >= 0) {
            AVPacket* kept = av_packet_alloc();
            if (kept == nullptr) {
                readFailure_ = "out of memory";
                return ReadResult::Failed;
            }
            av_packet_move_ref(kept, packet);
            boarding_->packets.push_back(kept);
        } else {
            av_packet_unref(packet);
        }
    }
}

bool PlatformVideoFiles::Drain(bool flush) {
    AVCodecContext* e = encoder_.get();
    AVPacket* packet = encoded_.get();
    if (flush) {
        avcodec_send_frame(e, nullptr);
    }
    for (;;) {
        const int code = avcodec_receive_packet(e, packet);
        if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) {
            return true;
        }
        if (code < 0) {
            writeFailure_ = "cannot encode " + outputName_ + ": " + LibavError(code);
            return false;
        }
        av_packet_rescale_ts(packet, e->time_base, videoOut_->time_base);
        packet->stream_index = videoOut_->index;
        const int written = av_interleaved_write_frame(out_.get(), packet);
        if (written < 0) {
            return WriteFailed(written);
        }
    }
}

bool PlatformVideoFiles::WritePackets(FrameExtras& extras) {
    for (AVPacket*& packet : extras.packets) {
        const AVStream* from = in_->streams[packet->stream_index];
        const int to = outputIndex_[static_cast<std::size_t>(packet->stream_index)];
        av_packet_rescale_ts(packet, from->time_base, out_->streams[to]->time_base);
        packet->stream_index = to;
        packet->pos = -1;
        const int written = av_interleaved_write_frame(out_.get(), packet);
        av_packet_free(&packet);
        if (written < 0) {
            return WriteFailed(written);
        }
    }
    extras.packets.clear();
    return true;
}

bool PlatformVideoFiles::Encode(AVFrame* f, std::int64_t pts) {
    if (lastEncodedPts_ != AV_NOPTS_VALUE && pts <= lastEncodedPts_) {
        pts = lastEncodedPts_ + 1;
    }
    lastEncodedPts_ = pts;
    f->pts = pts;
    f->pict_type = AV_PICTURE_TYPE_NONE;  // the encoder chooses, not the input's decoder
    f->sample_aspect_ratio = encoder_->sample_aspect_ratio;
    const int code = avcodec_send_frame(encoder_.get(), f);
    if (code < 0) {
        writeFailure_ = "cannot encode " + outputName_ + ": " + LibavError(code);
        return false;
    }
    return Drain(false);
}

bool PlatformVideoFiles::Write(MaskFrame& frame) {
    auto* extras = static_cast<FrameExtras*>(frame.platform.get());
    const std::int64_t pts =
        exactTimes_ ? frame.pts
                    : av_rescale_q_rnd(frame.pts, videoIn_->time_base, encoder_->time_base,
                                       static_cast<AVRounding>(AV_ROUND_NEAR_INF));
    const DisplaySurface& surface = frame.covered;
    bool encoded = false;
    if (extras != nullptr && extras->decoded != nullptr) {
        // Only the covered area is converted back; the rest goes to the encoder as decoded. The
        // encoder has taken its own copy of the previous frame, so encoding_ is free again.
        AVFrame* f = encoding_.get();
        if (av_frame_make_writable(f) < 0 || av_frame_copy(f, extras->decoded.get()) < 0) {
            writeFailure_ = "out of memory";
            return false;
        }
        extras->decoded.reset();
        CoverYuv420(surface, frame.changed, decoder_->colorspace == AVCOL_SPC_BT709 ? BT709 : BT601,
                    f);
        encoded = Encode(f, pts);
    } else {
        AVFrame* f = encoding_.get();
        if (av_frame_make_writable(f) < 0) {
            writeFailure_ = "out of memory";
            return false;
        }
        fromSurface_ = sws_getCachedContext(
            fromSurface_, surface.width, surface.height, AV_PIX_FMT_BGR24, f->width, f->height,
            static_cast<AVPixelFormat>(f->format), SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (fromSurface_ == nullptr) {
            writeFailure_ = "cannot convert the frames for " + outputName_;
            return false;
        }
        const int* coefficients = sws_getCoefficients(colorTable_);
        sws_setColorspaceDetails(fromSurface_, coefficients, 1, coefficients, 0, 0, 1 << 16,
                                 1 << 16);
        const std::uint8_t* const planes[4] = {surface.pixels.data(), nullptr, nullptr, nullptr};
        const int strides[4] = {surface.stride, 0, 0, 0};
        sws_scale(fromSurface_, planes, strides, 0, surface.height, f->data, f->linesize);
        encoded = Encode(f, pts);
    }
    if (!encoded) {
        return false;
    }
    if (extras != nullptr) {
        const bool written = WritePackets(*extras);
        frame.platform.reset();
        return written;
    }
    return true;
}

bool PlatformVideoFiles::Finish() {
    if (!Drain(true) || !WritePackets(*boarding_)) {
        return false;
    }
    int code = av_write_trailer(out_.get());
    if (code < 0) {
        return WriteFailed(code);
    }
    code = avio_closep(&out_->pb);
    if (code < 0) {
        return WriteFailed(code);
    }
    return true;
}

}  // namespace

std::unique_ptr<VideoFiles> OpenVideoFiles(const std::string& input, const std::string& outputFile,
                                           const std::string& outputName,
                                           const EncodeOptions& options, std::string& error) {
    av_log_set_level(AV_LOG_QUIET);
    auto files = std::make_unique<PlatformVideoFiles>();
    if (!files->Open(input, outputFile, outputName, options, error)) {
        return nullptr;
    }
    return files;
}

const std::vector<std::string>& WritableExtensions() {
    static const std::vector<std::string> extensions = [] {
        std::vector<std::string> list;
        for (const ContainerChoice& choice : CONTAINERS) {
            list.emplace_back(choice.extension);
        }
        return list;
    }();
    return extensions;
}

bool IsTerminal(std::FILE* stream) {
    return isatty(fileno(stream)) != 0;
}

void YieldToEncoder() {
    // On Linux a thread's nice value is its own; failing only leaves the thread as fast as before.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
}

void CatchInterrupts(std::atomic<bool>& interrupted) {
    interruptFlag = &interrupted;
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGXFSZ, SIG_IGN);  // beyond a file-size limit a write fails instead
}
