// The capture layer on DirectShow: video input devices from the system device enumerator, and a
// filter graph that the capture graph builder connects from the chosen device's preview stream
// into a sample grabber set to 24-bit RGB, which keeps a copy of the newest frame.
#pragma once

#include <dshow.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "capture_backend.h"
#include "com_ref.h"
#include "sample_grabber.h"

class PlatformCaptureBackend final : public CaptureBackend {
  public:
    PlatformCaptureBackend() = default;
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
    bool ShowDeviceSettings() override;
    bool ShowFormatSettings() override;
    void Release() override;

  private:
    void ReleaseGraph();

    bool apartment_ = false;  // this thread's COM apartment entered by us, to be left again
    // The device filter: counted by us only until the graph holds it, then borrowed.
    IBaseFilter* captureFilter_ = nullptr;
    ComRef<IBaseFilter> ownCaptureFilter_;  // set while the graph does not hold it
    ComRef<IGraphBuilder> filterGraph_;
    ComRef<IMediaControl> mediaControl_;
    ComRef<IBaseFilter> grabberFilter_;
    ComRef<GrabletSampleGrabber> sampleGrabber_;
    ComRef<ICaptureGraphBuilder2> captureGraphBuilder_;
    bool connected_ = false;  // RenderStream has run
    PixelSize connectedSize_;
    bool topDown_ = false;            // the connected format's rows run top-down
    std::vector<std::uint8_t> view_;  // the newest frame, as the grabber hands it over
};
