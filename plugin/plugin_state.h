// The capture plug-in's module-wide state and the steps on it that do not depend on the capture
// layer: taking over a connected size and turning a delivered frame into the contract's layout.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "capture_backend.h"

struct PluginState {
    std::vector<std::uint8_t> frameBuffer;  // frameWidth x frameHeight x 3 bytes, bottom-up BGR
    std::int32_t frameWidth = 0;
    std::int32_t frameHeight = 0;
    std::string deviceName;  // the chosen device's display name
};

// Whether frames of size exist and their byte count fits the contract's 32-bit count.
bool IsFrameSize(PixelSize size);

// Takes over size as the frame size with an all-zero frame. False, with nothing changed, when
// size is no frame size.
bool AdoptConnectedSize(PluginState& state, PixelSize size);

// Copies frame into frameBuffer, bottom-up and packed. False, with frameBuffer unchanged, when
// the frame has another size than the state or its rows do not lie inside its bytes.
bool TakeFrame(PluginState& state, const FrameView& frame);
