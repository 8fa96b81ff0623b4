#include "plugin_state.h"

#include <limits>

#include "frame_rows.h"

bool IsFrameSize(PixelSize size) {
    return size.width > 0 && size.height > 0 &&
           size.width <= std::numeric_limits<std::int32_t>::max() / 3 / size.height;
}

bool AdoptConnectedSize(PluginState& state, PixelSize size) {
    if (!IsFrameSize(size)) {
        return false;
    }
    state.frameWidth = size.width;
    state.frameHeight = size.height;
    state.frameBuffer.assign(PackedRowBytes(size.width) * static_cast<std::size_t>(size.height), 0);
    return true;
}

bool TakeFrame(PluginState& state, const FrameView& frame) {
    if (state.frameBuffer.empty() || frame.data == nullptr || frame.width != state.frameWidth ||
        frame.height != state.frameHeight) {
        return false;
    }
    const std::size_t rowBytes = PackedRowBytes(state.frameWidth);
    const auto rows = static_cast<std::size_t>(state.frameHeight);
    if (!RowsFit(frame.bytes, frame.stride, rowBytes, rows)) {
        return false;
    }
    CopyRows(state.frameBuffer.data(), rowBytes, frame.data, frame.stride, rowBytes, rows,
             frame.rowOrder == FrameRowOrder::BottomUp ? RowOrder::Same : RowOrder::Flipped);
    return true;
}
