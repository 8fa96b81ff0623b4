// The capture plug-in's module-wide state and the steps on it that do not depend on the capture
// layer: taking over a negotiated size and turning a delivered frame into the contract's layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture_backend.h"

// Shown when the negotiated size cannot be read.
inline constexpr char NO_VIDEO_HEADER_MESSAGE[] = "ビデオヘッダーを取得できませんでした";

struct PluginState {
    std::vector<std::uint8_t> frameBuffer;  // frameWidth x frameHeight x 3 bytes, bottom-up BGR
    std::int32_t frameWidth = 0;
    std::int32_t frameHeight = 0;
    std::string deviceName;                   // the chosen device's display name
    std::unique_ptr<CaptureBackend> capture;  // present from the start of VQ_OnInit
};

// Takes over size as the frame size with an all-zero frame. False, with nothing changed, for a
// size whose frame would not fit the contract's 32-bit byte count.
bool AdoptConnectedSize(PluginState& state, FrameSize size);

// Starts the flow at request (0 x 0: the device's choice) and takes over the size it negotiated.
// False when the device refused or the size could not be read; the flow is then stopped and the
// frame size unchanged.
bool StartCapture(PluginState& state, FrameSize request);

// The option dialog's source settings: stops the flow, lets chooseSize pick one of the device's
// sizes (none keeps the current one) and starts again at it, taking over the negotiated size.
// False when the size could not be read afterwards (the flow then stays stopped, the caller shows
// NO_VIDEO_HEADER_MESSAGE); true without doing anything while no flow has started.
bool ChangeSourceSize(PluginState& state,
                      const std::function<std::optional<FrameSize>(const std::vector<FrameSize>&,
                                                                   FrameSize)>& chooseSize);

// Copies a top-down frame of size.width x size.height BGR pixels whose rows start stride bytes
// apart into frame, bottom-up and packed. False, with nothing written, when source holds fewer
// bytes than the rows need.
bool CopyTopDownFrame(const std::uint8_t* source, std::size_t sourceSize, std::size_t stride,
                      FrameSize size, std::uint8_t* frame);

// Back to the state at load, releasing the capture.
void ResetPluginState(PluginState& state);
