// The camera output on Windows: the shared frames in a named section that the camera filter
// (RavkelerCamera.dll) maps in the programs that opened "Ravkeler Camera", and an event set after
// each picture so the filter sends it at once.
#pragma once

#include <windows.h>

#include "camera_output.h"
#include "shared_frames.h"

class PlatformCameraOutput final : public CameraOutput {
  public:
    PlatformCameraOutput() = default;
    ~PlatformCameraOutput() override;
    PlatformCameraOutput(const PlatformCameraOutput&) = delete;
    PlatformCameraOutput& operator=(const PlatformCameraOutput&) = delete;

    bool Open(PixelSize size, std::string& error) override;
    bool Send(const SurfaceView& picture, std::string& error) override;
    void Close() override;

  private:
    HANDLE section_ = nullptr;
    HANDLE published_ = nullptr;  // the event
    SharedFramesWriter writer_;   // over the mapped view while open
};
