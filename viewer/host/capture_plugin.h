// The viewer's binding to its capture plug-in: the loaded module, its file name and display name,
// and one operation per export. No function pointer is kept: every operation looks its export up
// at the moment of the call, and a missing export (or no module) makes the operation fail.
#pragma once

#include <cstdint>
#include <string>

#include "capture_source.h"
#include "frame_image.h"
#include "shared_library.h"

// The longest display name accepted from a plug-in, terminating zero included.
inline constexpr std::int32_t MAX_PLUGIN_NAME_BYTES = 65536;

class CapturePlugin final : public CaptureSource {
  public:
    std::string displayName;  // as VQ_GetDllName hands it out; empty until fetched
    std::string fileName;     // as passed to Load
    SharedLibrary module;     // none before Load and after unloading

    CapturePlugin() = default;
    // Unloads: VQ_OnDestroy when the module exports it, then frees the module, then clears
    // fileName and displayName.
    ~CapturePlugin() override;
    CapturePlugin(const CapturePlugin&) = delete;
    CapturePlugin& operator=(const CapturePlugin&) = delete;

    // Stores libraryFile; unless a module is held already, loads it (the module is kept even when
    // the name cannot be fetched) and returns FetchDisplayName(). With a module held: true, with
    // no second load and no name fetch.
    bool Load(const std::string& libraryFile) override;

    // Asks for the name's size n (must be > 0), reads the name into n + 10 zeroed bytes so it ends
    // in a zero even when the plug-in writes no terminator, keeps the text up to the first zero
    // and returns whether the second call returned > 0.
    bool FetchDisplayName();

    bool Init(void* ownerWindow) override;
    bool SetResolution(std::int32_t width, std::int32_t height) override;
    // Leaves width and height unwritten when there is no module or no export.
    bool GetResolution(std::int32_t& width, std::int32_t& height) override;

    // Takes the plug-in's newest frame into frame. Fails, leaving frame as it was, when the byte
    // count is negative, the size cannot be read, the size is negative or beyond the limits
    // above, or the count is not width x height x 3. Otherwise resizes and clears frame (also at
    // an unchanged size) and lets the plug-in write into it; true when that call returns > 0.
    bool GrabFrame(FrameImage& frame) override;

    // Modal; returns when the plug-in's dialog is closed.
    bool ShowOptionDialog() override;
};
