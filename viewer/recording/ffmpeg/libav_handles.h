// Owning handles for the FFmpeg objects a recording holds, so every way out releases them.
#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

struct LibavDeleter {
    void operator()(AVCodecContext* encoder) const { avcodec_free_context(&encoder); }
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
    void operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
    // Closes the file too; the trailer is the owner's business, as it can fail.
    void operator()(AVFormatContext* file) const {
        if (file->pb != nullptr) {
            avio_closep(&file->pb);
        }
        avformat_free_context(file);
    }
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, LibavDeleter>;
using FramePtr = std::unique_ptr<AVFrame, LibavDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, LibavDeleter>;
using ScalerPtr = std::unique_ptr<SwsContext, LibavDeleter>;
using OutputFilePtr = std::unique_ptr<AVFormatContext, LibavDeleter>;
