// The capture layer on GStreamer: video sources from a device monitor, and a pipeline from the
// chosen device's own source element through a converter and a caps filter into an app sink that
// keeps only the newest 24-bit BGR frame.
#pragma once

#include <gst/gst.h>
#include <gst/video/video.h>

#include <optional>

#include "capture_backend.h"

class PlatformCaptureBackend final : public CaptureBackend {
  public:
    PlatformCaptureBackend();
    ~PlatformCaptureBackend() override;
    PlatformCaptureBackend(const PlatformCaptureBackend&) = delete;
    PlatformCaptureBackend& operator=(const PlatformCaptureBackend&) = delete;

    std::optional<std::vector<ListedDevice>> ListDevices() override;
    BindResult Bind(const DeviceIdentity& identity) override;
    bool RequestSize(std::optional<PixelSize> size) override;
    std::optional<PixelSize> ConnectedSize() override;
    bool Start() override;
    void Stop() override;
    std::optional<FrameView> NewestFrame() override;
    std::vector<PixelSize> OfferedSizes() override;
    std::vector<PictureControl> PictureControls() override;
    void SetPictureControl(std::size_t index, int value) override;
    // GStreamer devices bring no windows of their own.
    bool ShowDeviceSettings() override { return false; }
    bool ShowFormatSettings() override { return false; }
    void Release() override;

  private:
    bool Negotiate(std::optional<PixelSize> size);
    void ReleaseView();

    GstDevice* device_ = nullptr;  // the bound one, with a reference of ours
    GstElement* pipeline_ = nullptr;
    GstBus* bus_ = nullptr;
    GstElement* source_ = nullptr;  // owned by pipeline_, as are the two below
    GstElement* filter_ = nullptr;
    GstElement* sink_ = nullptr;
    std::optional<PixelSize> request_;  // the size last connected on request
    GstSample* viewSample_ = nullptr;   // the sample behind the last view, mapped as viewFrame_
    GstVideoFrame viewFrame_{};
};
