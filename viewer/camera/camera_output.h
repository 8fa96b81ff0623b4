// The covered picture as a camera that other programs (calls, browsers, streaming) can pick: on
// Windows a DirectShow source filter fed through shared memory, on Linux a PipeWire video source
// or a v4l2loopback device. Each platform's output is a PlatformCameraOutput, in gstreamer/ or
// win32/.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "camera_name.h"
#include "geometry.h"
#include "surface_view.h"

// The "VirtualCamera" setting.
enum class VirtualCameraKind {
    Off,           // "0", the default: nothing is published
    On,            // "1": the platform's own camera kind
    V4l2Loopback,  // "v4l2loopback", Linux only: a v4l2loopback device instead of PipeWire
};

// The kind a settings value names; nullopt for any other value. On Windows a v4l2loopback output
// fails to open, with its reason.
std::optional<VirtualCameraKind> VirtualCameraFromName(std::string_view name);

// Owned and called by the UI thread only. Destroying an output closes it.
class CameraOutput {
  public:
    virtual ~CameraOutput() = default;

    // Starts publishing pictures of size. False, with a one-line reason in error, when the camera
    // cannot be offered; nothing is published then.
    virtual bool Open(PixelSize size, std::string& error) = 0;

    // Offers the picture just presented (top-down 24-bit rows at the open size). Called after every
    // paint, so it copies at most the picture and does any conversion elsewhere. False, with a
    // one-line reason in error, when the output broke; the caller then closes it for good.
    virtual bool Send(const SurfaceView& picture, std::string& error) = 0;

    // Stops publishing: the camera leaves other programs' lists, or shows its still picture.
    virtual void Close() = 0;
};

// The platform's output of that kind (not Off); defined in the platform's leaf.
std::unique_ptr<CameraOutput> MakePlatformCameraOutput(VirtualCameraKind kind);
