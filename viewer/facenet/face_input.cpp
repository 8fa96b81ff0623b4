#include "face_input.h"

#include <algorithm>
#include <cmath>

PixelRect FitLetterbox(std::int32_t frameWidth, std::int32_t frameHeight, std::int32_t side) {
    const std::int64_t longer = std::max(frameWidth, frameHeight);
    const auto scaled = [&](std::int64_t length) {
        return static_cast<std::int32_t>(
            std::max<std::int64_t>(1, (2 * length * side + longer) / (2 * longer)));
    };
    const std::int32_t width = scaled(frameWidth);
    const std::int32_t height = scaled(frameHeight);
    PixelRect box;
    box.left = (side - width) / 2;
    box.top = (side - height) / 2;
    box.right = box.left + width;
    box.bottom = box.top + height;
    return box;
}

void MakeAreaTaps(std::int32_t sources, std::int32_t outputs, AreaTaps& taps) {
    taps.taps.clear();
    taps.starts.clear();
    const double scale = static_cast<double>(sources) / outputs;
    for (std::int32_t i = 0; i < outputs; ++i) {
        taps.starts.push_back(static_cast<std::int32_t>(taps.taps.size()));
        const double begin = i * scale;
        const double end = std::min<double>(sources, (i + 1) * scale);
        for (auto source = static_cast<std::int32_t>(std::floor(begin)); source < end; ++source) {
            const double overlap =
                std::min<double>(end, source + 1) - std::max<double>(begin, source);
            if (overlap > 0) {
                taps.taps.push_back({source, static_cast<float>(overlap / scale)});
            }
        }
    }
    taps.starts.push_back(static_cast<std::int32_t>(taps.taps.size()));
}

PixelRect FillFaceInput(const FrameImage& frame, const FaceModel& model, FaceNetState& net,
                        FaceInputState& state, const FaceKernels& kernels) {
    const std::int32_t side = model.inputSide;
    if (state.frameWidth != frame.width || state.frameHeight != frame.height ||
        state.side != side) {
        state.frameWidth = frame.width;
        state.frameHeight = frame.height;
        state.side = side;
        state.box = FitLetterbox(frame.width, frame.height, side);
        MakeAreaTaps(frame.width, Width(state.box), state.columns);
        MakeAreaTaps(frame.height, Height(state.box), state.rows);
        state.sums.assign(static_cast<std::size_t>(frame.width) * 3, 0.0f);
    }
    // The black bars (-1) above, below and beside the picture.
    const PixelRect& box = state.box;
    float* planes[3][2];
    for (std::int32_t y = 0; y < side; ++y) {
        const bool picture = y >= box.top && y < box.bottom;
        for (std::int32_t channel = 0; channel < 3; ++channel) {
            for (std::int32_t parity = 0; parity < 2; ++parity) {
                float* plane = FaceInputRow(model, net, y, channel, parity);
                // The columns of this parity left of box.left and from box.right on.
                const std::int32_t left = picture ? (box.left - parity + 1) / 2 : side / 2;
                const std::int32_t right = picture ? (box.right - parity + 1) / 2 : side / 2;
                std::fill(plane, plane + left, -1.0f);
                std::fill(plane + right, plane + side / 2, -1.0f);
            }
        }
    }
    const std::size_t rowBytes = static_cast<std::size_t>(frame.width) * 3;
    for (std::int32_t y = 0; y < Height(box); ++y) {
        // Input rows run top-down; the frame's rows bottom-up.
        std::fill(state.sums.begin(), state.sums.end(), 0.0f);
        for (std::int32_t t = state.rows.starts[static_cast<std::size_t>(y)];
             t < state.rows.starts[static_cast<std::size_t>(y) + 1]; ++t) {
            const AreaTap tap = state.rows.taps[static_cast<std::size_t>(t)];
            const std::size_t frameRow = static_cast<std::size_t>(frame.height - 1 - tap.source);
            kernels.accumulate(FrameBytes(frame) + frameRow * rowBytes, rowBytes, tap.weight,
                               state.sums.data());
        }
        for (std::int32_t channel = 0; channel < 3; ++channel) {
            for (std::int32_t parity = 0; parity < 2; ++parity) {
                planes[channel][parity] = FaceInputRow(model, net, box.top + y, channel, parity);
            }
        }
        for (std::int32_t x = 0; x < Width(box); ++x) {
            float blue = 0, green = 0, red = 0;
            for (std::int32_t t = state.columns.starts[static_cast<std::size_t>(x)];
                 t < state.columns.starts[static_cast<std::size_t>(x) + 1]; ++t) {
                const AreaTap tap = state.columns.taps[static_cast<std::size_t>(t)];
                const float* sum = state.sums.data() + 3 * static_cast<std::size_t>(tap.source);
                blue += tap.weight * sum[0];
                green += tap.weight * sum[1];
                red += tap.weight * sum[2];
            }
            const std::int32_t at = box.left + x;
            planes[0][at % 2][at / 2] = red / 127.5f - 1.0f;
            planes[1][at % 2][at / 2] = green / 127.5f - 1.0f;
            planes[2][at % 2][at / 2] = blue / 127.5f - 1.0f;
        }
    }
    return box;
}
