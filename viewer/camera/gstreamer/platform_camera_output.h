// The camera output on GStreamer: the picture goes from the paint thread into a pooled buffer and
// an app source; the pipeline's own threads convert it to YUY2, the format webcams deliver and
// every camera reader takes, and hand it to PipeWire as a video source node or write it to a
// v4l2loopback device.
#pragma once

#include <gst/gst.h>

#include "camera_output.h"

class PlatformCameraOutput final : public CameraOutput {
  public:
    explicit PlatformCameraOutput(VirtualCameraKind kind);
    ~PlatformCameraOutput() override;
    PlatformCameraOutput(const PlatformCameraOutput&) = delete;
    PlatformCameraOutput& operator=(const PlatformCameraOutput&) = delete;

    bool Open(PixelSize size, std::string& error) override;
    bool Send(const SurfaceView& picture, std::string& error) override;
    void Close() override;

  private:
    bool Fail(const std::string& what, std::string& error);

    const VirtualCameraKind kind_;
    GstElement* pipeline_ = nullptr;
    GstElement* source_ = nullptr;  // the app source, owned by pipeline_
    GstBus* bus_ = nullptr;
    GstBufferPool* pool_ = nullptr;  // the buffers Send fills, all made at Open
    PixelSize size_{};
};
