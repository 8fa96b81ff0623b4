// What the viewer's controller asks of its frame source, one operation per plug-in export. The
// real source is CapturePlugin, a loaded capture plug-in; the controller's tests use an in-process
// fake. All calls come from the UI thread.
#pragma once

#include <cstdint>
#include <string>

#include "frame_image.h"

// The largest frame taken from a source: each side at most MAX_PLUGIN_FRAME_SIDE pixels and at
// most MAX_PLUGIN_FRAME_PIXELS pixels in all (192 MiB), far beyond any capture size, so a
// source reporting nonsense never makes the viewer allocate absurdly. Byte counts within these
// limits fit the contract's 32-bit count.
inline constexpr std::int32_t MAX_PLUGIN_FRAME_SIDE = 16384;
inline constexpr std::int64_t MAX_PLUGIN_FRAME_PIXELS = std::int64_t{64} * 1024 * 1024;

// Whether a size reported by a plug-in is within the limits above (0 x 0 included).
bool IsAcceptableFrameSize(std::int32_t width, std::int32_t height);

class CaptureSource {
  public:
    virtual ~CaptureSource() = default;

    // Loads the source named by the settings ("DLL") and fetches its display name.
    virtual bool Load(const std::string& libraryFile) = 0;
    virtual bool Init(void* ownerWindow) = 0;
    virtual bool SetResolution(std::int32_t width, std::int32_t height) = 0;
    // Leaves width and height unwritten on failure.
    virtual bool GetResolution(std::int32_t& width, std::int32_t& height) = 0;
    // Takes the newest frame into frame; on failure frame is left as it was.
    virtual bool GrabFrame(FrameImage& frame) = 0;
    // Modal; returns when the source's own dialog is closed.
    virtual bool ShowOptionDialog() = 0;
};
