// What the plug-in needs from a capture layer: the video sources, a flow of frames from the chosen
// one at a requested size, its newest frame and its picture controls. A back end only adapts the
// layer; every decision about sizes, frames and sequences is GrabletController's. Each platform's
// back end is a PlatformCaptureBackend, in gstreamer/ or directshow/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "geometry.h"

// The layer's own handle on one listed device (on GStreamer its GstDevice). Only the back end
// that listed it looks inside.
class DeviceIdentity {
  public:
    virtual ~DeviceIdentity() = default;
};

struct ListedDevice {
    std::string name;  // the display name
    std::unique_ptr<DeviceIdentity> identity;
};

// How far binding a device got: Bound, or the step that failed.
enum class BindResult {
    Bound,
    NoDevice,      // the device yields nothing to capture from
    NoPipeline,    // the graph that holds the capture is not created
    NoRunControl,  // the graph offers no control to run and stop it
    NoGrabber,     // the elements that convert and keep the frames are not created
    NoConnection,  // the device cannot be connected to the grabber
};

enum class FrameRowOrder { TopDown, BottomUp };

// A frame of 24-bit BGR pixels as the layer holds it, borrowed: valid until the next call on the
// back end. Every field comes from the layer and is checked before use.
struct FrameView {
    const std::uint8_t* data = nullptr;
    std::size_t bytes = 0;  // readable from data on
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::size_t stride = 0;  // bytes from one row's start to the next
    FrameRowOrder rowOrder = FrameRowOrder::TopDown;
};

// One of the device's picture settings (brightness, contrast and the like).
struct PictureControl {
    std::string name;
    int minimum = 0;
    int maximum = 0;
    int value = 0;
};

// Every call comes on the plug-in's caller thread.
class CaptureBackend {
  public:
    virtual ~CaptureBackend() = default;

    // The video sources in the layer's order, each with its identity; none when the layer cannot
    // list devices at all (as opposed to finding none).
    virtual std::optional<std::vector<ListedDevice>> ListDevices() = 0;

    // Builds the flow from the very device listed with identity into the frame grabber, not yet
    // running. Whatever was created before a failing step stays until Release.
    virtual BindResult Bind(const DeviceIdentity& identity) = 0;

    // Asks the device for size (none: its own choice) and connects it. False when the device
    // refused; it then keeps the size it had.
    virtual bool RequestSize(std::optional<PixelSize> size) = 0;

    // The size the grabber is connected at; none when it cannot be read.
    virtual std::optional<PixelSize> ConnectedSize() = 0;

    // Lets frames flow into the grabber; false when the flow cannot start (it is then stopped).
    virtual bool Start() = 0;

    // Stops the flow; frames waiting in the grabber are dropped.
    virtual void Stop() = 0;

    // The newest frame delivered since the last call; none when there is none. Never waits.
    virtual std::optional<FrameView> NewestFrame() = 0;

    // The frame sizes the bound device lists among its formats, as it lists them.
    virtual std::vector<PixelSize> OfferedSizes() = 0;

    // The bound device's picture controls, in its order; SetPictureControl takes effect at once,
    // also while frames flow. index is a position in PictureControls().
    virtual std::vector<PictureControl> PictureControls() = 0;
    virtual void SetPictureControl(std::size_t index, int value) = 0;

    // A layer whose devices bring their own settings windows (property pages) shows them here,
    // modally, without an owner; the device applies what the user sets. False: the layer has no
    // such window and the plug-in's own picture controls or size choice stand in.
    // The device's settings, while frames flow.
    virtual bool ShowDeviceSettings() = 0;
    // The settings of the device's output formats, with the flow stopped; the device connects
    // at what was chosen.
    virtual bool ShowFormatSettings() = 0;

    // Stops and releases the device and the flow.
    virtual void Release() = 0;
};

// The platform's back end.
std::unique_ptr<CaptureBackend> CreateCaptureBackend();
