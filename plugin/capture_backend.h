// What the plug-in needs from a capture layer: the video sources, a flow of frames from the chosen
// one at a requested size, and its newest frame. The GStreamer back end lives in gstreamer/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct FrameSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// Why binding a device failed; each but DeviceGone has its message for the user.
enum class BindResult { Bound, DeviceGone, NoPipeline, NoGrabber, NoConnection };

class CaptureBackend {
  public:
    virtual ~CaptureBackend() = default;

    // The display names of the video sources in the layer's order. Each listed device's identity
    // is kept, so Bind takes the very device that was listed.
    virtual std::vector<std::string> ListDevices() = 0;

    // Builds the flow from the device at index of the last listing into the frame grabber; the
    // flow is not yet started.
    virtual BindResult Bind(std::size_t index) = 0;

    // Asks the device for request (0 x 0: the device's own choice) and starts the flow. True once
    // the device delivers at a negotiated size; false when it refuses (the flow is then stopped).
    virtual bool Start(FrameSize request) = 0;

    // Stops the flow; frames waiting in the grabber are dropped.
    virtual void Stop() = 0;

    // The size the running flow negotiated; none when the flow is stopped or unreadable.
    virtual std::optional<FrameSize> NegotiatedSize() = 0;

    // Copies the newest frame delivered since the last call into frame, bottom-up and packed,
    // when it has the given size; false, with nothing written, when there is none. Never waits.
    virtual bool TakeNewestFrame(FrameSize size, std::uint8_t* frame) = 0;

    // The frame sizes the bound device lists among its formats, in its order, each once.
    virtual std::vector<FrameSize> OfferedSizes() = 0;

    // Stops and releases the device and the flow.
    virtual void Release() = 0;
};
