// The capture layer on GStreamer: video sources from a device monitor, and a pipeline from the
// chosen device's own source element through a converter into an app sink that keeps only the
// newest 24-bit BGR frame.
#pragma once

#include <gst/gst.h>

#include <vector>

#include "capture_backend.h"

class GstCaptureBackend final : public CaptureBackend {
  public:
    GstCaptureBackend();
    ~GstCaptureBackend() override;
    GstCaptureBackend(const GstCaptureBackend&) = delete;
    GstCaptureBackend& operator=(const GstCaptureBackend&) = delete;

    std::vector<std::string> ListDevices() override;
    BindResult Bind(std::size_t index) override;
    bool Start(FrameSize request) override;
    void Stop() override;
    std::optional<FrameSize> NegotiatedSize() override;
    bool TakeNewestFrame(FrameSize size, std::uint8_t* frame) override;
    std::vector<FrameSize> OfferedSizes() override;
    void Release() override;

    // The bound device's source element, for its settings; null before Bind.
    GstElement* Source() const { return source_; }

  private:
    void ReleaseDevices();

    std::vector<GstDevice*> devices_;  // the last listing, each with a reference of ours
    GstDevice* device_ = nullptr;      // the bound one, one of devices_
    GstElement* pipeline_ = nullptr;
    GstElement* source_ = nullptr;  // owned by pipeline_, as are the two below
    GstElement* filter_ = nullptr;
    GstElement* sink_ = nullptr;
};
