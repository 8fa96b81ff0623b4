// The Linux VideoWriter: "capture.avi" through libavformat's AVI muxer, the frames stored as
// uncompressed bottom-up 24-bit DIBs or encoded by the libavcodec encoder the user chose. Runs on
// the recorder's thread; only the chooser it is given may hand work to another thread.
#pragma once

#include <cstdint>
#include <string>

#include "compressor_choice.h"
#include "encoder_setup.h"
#include "libav_handles.h"
#include "video_writer.h"

class PlatformVideoWriter : public VideoWriter {
  public:
    explicit PlatformVideoWriter(ChooseCompressorFunction choose);
    ~PlatformVideoWriter() override;
    PlatformVideoWriter(const PlatformVideoWriter&) = delete;
    PlatformVideoWriter& operator=(const PlatformVideoWriter&) = delete;

    bool ChooseCompressor(const RecordingFormat& format) override;
    bool Open(const std::string& fileName, const RecordingFormat& format) override;
    bool WriteFrame(std::int32_t index, const std::uint8_t* frame) override;
    bool Close() override;

  private:
    // The chosen encoder, its stream parameters and the conversion of frames for it.
    bool PrepareEncoder(const EncoderSetup& setup, const RecordingFormat& format,
                        AVCodecParameters* parameters);
    bool ReceivePackets();
    bool WritePacket();

    ChooseCompressorFunction choose_;
    CompressorChoice choice_;
    RecordingFormat format_;
    OutputFilePtr file_;
    bool headerWritten_ = false;  // the file is a muxer's: it ends with the trailer
    CodecContextPtr encoder_;     // none for uncompressed frames
    ScalerPtr scaler_;            // the encoder's pixel format, the picture turned upright
    FramePtr picture_;            // the converted picture given to the encoder
    PacketPtr packet_;
};
