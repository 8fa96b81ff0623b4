#include "plugin_state.h"

#include <cstring>
#include <limits>

bool AdoptConnectedSize(PluginState& state, FrameSize size) {
    if (size.width <= 0 || size.height <= 0 ||
        size.width > std::numeric_limits<std::int32_t>::max() / 3 / size.height) {
        return false;
    }
    state.frameWidth = size.width;
    state.frameHeight = size.height;
    state.frameBuffer.assign(
        static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height) * 3, 0);
    return true;
}

bool StartCapture(PluginState& state, FrameSize request) {
    if (!state.capture->Start(request)) {
        return false;
    }
    const std::optional<FrameSize> size = state.capture->NegotiatedSize();
    if (!size || !AdoptConnectedSize(state, *size)) {
        state.capture->Stop();
        return false;
    }
    return true;
}

bool ChangeSourceSize(PluginState& state,
                      const std::function<std::optional<FrameSize>(const std::vector<FrameSize>&,
                                                                   FrameSize)>& chooseSize) {
    if (state.frameBuffer.empty()) {
        return true;  // only a flow that reached a size has anything to stop and restart
    }
    state.capture->Stop();
    const FrameSize current{state.frameWidth, state.frameHeight};
    const FrameSize request = chooseSize(state.capture->OfferedSizes(), current).value_or(current);
    return StartCapture(state, request);
}

bool CopyTopDownFrame(const std::uint8_t* source, std::size_t sourceSize, std::size_t stride,
                      FrameSize size, std::uint8_t* frame) {
    if (size.width <= 0 || size.height <= 0) {
        return false;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(size.width) * 3;
    const std::size_t rows = static_cast<std::size_t>(size.height);
    if (stride < rowBytes || sourceSize < rowBytes || (sourceSize - rowBytes) / stride < rows - 1) {
        return false;
    }
    for (std::size_t row = 0; row < rows; ++row) {
        std::memcpy(frame + (rows - 1 - row) * rowBytes, source + row * stride, rowBytes);
    }
    return true;
}

void ResetPluginState(PluginState& state) {
    if (state.capture) {
        state.capture->Release();
    }
    state = PluginState{};
}
