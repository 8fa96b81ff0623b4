// The viewer's binding to its capture plug-in: the loaded module, its file name and display name,
// and one operation per export. No function pointer is kept: every operation looks its export up
// at the moment of the call, and a missing export (or no module) makes the operation fail.
#pragma once

#include <cstdint>
#include <string>

#include "frame_image.h"
#include "shared_library.h"

// The largest frame taken from a plug-in: each side at most MAX_PLUGIN_FRAME_SIDE pixels and at
// most MAX_PLUGIN_FRAME_PIXELS pixels in all (192 MiB), far beyond any capture size, so a
// plug-in reporting nonsense never makes the viewer allocate absurdly. Byte counts within these
// limits fit the contract's 32-bit count.
inline constexpr std::int32_t MAX_PLUGIN_FRAME_SIDE = 16384;
inline constexpr std::int64_t MAX_PLUGIN_FRAME_PIXELS = std::int64_t{64} * 1024 * 1024;

// Whether a size reported by a plug-in is within the limits above (0 x 0 included).
bool IsAcceptableFrameSize(std::int32_t width, std::int32_t height);

// The longest display name accepted from a plug-in, terminating zero included.
inline constexpr std::int32_t MAX_PLUGIN_NAME_BYTES = 65536;

class CapturePlugin {
  public:
    std::string displayName;  // as VQ_GetDllName hands it out; empty until fetched
    std::string fileName;     // as passed to Load
    SharedLibrary module;     // none before Load and after unloading

    CapturePlugin() = default;
    // Unloads: VQ_OnDestroy when the module exports it, then frees the module, then clears
    // fileName and displayName.
    ~CapturePlugin();
    CapturePlugin(const CapturePlugin&) = delete;
    CapturePlugin& operator=(const CapturePlugin&) = delete;

    // Stores libraryFile; unless a module is held already, loads it (the module is kept even when
    // the name cannot be fetched) and returns FetchDisplayName(). With a module held: true, with
    // no second load and no name fetch.
    bool Load(const std::string& libraryFile);

    // Asks for the name's size n (must be > 0), reads the name into n + 10 zeroed bytes so it ends
    // in a zero even when the plug-in writes no terminator, keeps the text up to the first zero
    // and returns whether the second call returned > 0.
    bool FetchDisplayName();

    bool Init(void* ownerWindow);
    bool SetResolution(std::int32_t width, std::int32_t height);
    // Leaves width and height unwritten when there is no module or no export.
    bool GetResolution(std::int32_t& width, std::int32_t& height);

    // Takes the plug-in's newest frame into frame. Fails, leaving frame as it was, when the byte
    // count is negative, the size cannot be read, the size is negative or beyond the limits
    // above, or the count is not width x height x 3. Otherwise resizes and clears frame (also at
    // an unchanged size) and lets the plug-in write into it; true when that call returns > 0.
    bool GrabFrame(FrameImage& frame);

    // Modal; returns when the plug-in's dialog is closed.
    bool ShowOptionDialog();
};
