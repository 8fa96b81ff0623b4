#include "face_net.h"

#include <algorithm>
#include <cstring>

namespace {

std::size_t Size(std::int32_t value) {
    return static_cast<std::size_t>(value);
}

// An activation of side x side pixels of `channels` floats inside a zero border of one pixel.
struct Activation {
    float* data;
    std::int32_t side;
    std::int32_t channels;

    std::int32_t RowStride() const { return (side + 2) * channels; }
    // Row y's first pixel inside the border; y = -1 and y = side are the border rows.
    float* Row(std::int32_t y) const { return data + Size((y + 1) * RowStride() + channels); }

    void ClearBorder() const {
        std::fill(data, data + RowStride(), 0.0f);
        std::fill(data + Size((side + 1) * RowStride()), data + Size((side + 2) * RowStride()),
                  0.0f);
        for (std::int32_t y = 0; y < side; ++y) {
            std::fill(Row(y) - channels, Row(y), 0.0f);
            std::fill(Row(y) + Size(side * channels), Row(y) + Size((side + 1) * channels), 0.0f);
        }
    }
};

std::size_t ActivationSize(std::int32_t side, std::int32_t channels) {
    return Size(side + 2) * Size(side + 2) * Size(channels);
}

void RunStem(const FaceModel& model, FaceNetState& state, const Activation& out,
             const FaceKernels& kernels) {
    // Output pixel (x, y) reads input rows 2y - 1 .. 2y + 3 and columns 2x - 1 .. 2x + 3; a row's
    // five pixels are 15 consecutive floats, so the taps are gathered five runs at a time.
    const std::int32_t inStride = 3 * (model.inputSide + 2 * FACE_INPUT_BORDER);
    for (std::int32_t y = 0; y < out.side; ++y) {
        for (std::int32_t x = 0; x < out.side; ++x) {
            for (std::int32_t ky = 0; ky < 5; ++ky) {
                const float* from =
                    state.input.data() + Size((2 * y + ky + FACE_INPUT_BORDER - 1) * inStride +
                                              3 * (2 * x + FACE_INPUT_BORDER - 1));
                std::copy(from, from + 15, state.row.data() + Size(x * FACE_STEM_TAPS + ky * 15));
            }
        }
        PointwiseRow row;
        row.in = state.row.data();
        row.inStride = FACE_STEM_TAPS;
        row.inChannels = FACE_STEM_TAPS;
        row.pixels = out.side;
        row.weights = model.stemWeights.data();
        row.bias = model.stemBias.data();
        row.outChannels = FACE_STEM_CHANNELS;
        row.relu = true;
        row.out = out.Row(y);
        kernels.pointwise(row);
    }
}

void RunBlock(const FaceBlock& block, const Activation& in, const Activation& out,
              FaceNetState& state, const FaceKernels& kernels) {
    const std::int32_t channels = in.channels;
    for (std::int32_t y = 0; y < out.side; ++y) {
        // Stride 1 reads rows y - 1 .. y + 1 from column -1; stride 2 (padded only after the
        // end) reads rows 2y .. 2y + 2 from column 0.
        const std::int32_t first = block.stride == 1 ? y - 1 : 2 * y;
        const std::int32_t column = block.stride == 1 ? -channels : 0;
        const float* const rows[3] = {in.Row(first) + column, in.Row(first + 1) + column,
                                      in.Row(first + 2) + column};
        kernels.depthwise(rows, block.stride, out.side, channels, block.depthwise.data(),
                          state.row.data());

        const float* skip = nullptr;
        if (block.skip && block.stride == 1) {
            skip = in.Row(y);
        } else if (block.skip) {
            const float* top = in.Row(2 * y);
            const float* bottom = in.Row(2 * y + 1);
            for (std::int32_t x = 0; x < out.side; ++x) {
                for (std::int32_t c = 0; c < channels; ++c) {
                    const std::int32_t at = 2 * x * channels + c;
                    state.pooled[Size(x * channels + c)] =
                        std::max(std::max(top[at], top[at + channels]),
                                 std::max(bottom[at], bottom[at + channels]));
                }
            }
            skip = state.pooled.data();
        }

        PointwiseRow row;
        row.in = state.row.data();
        row.inStride = channels;
        row.inChannels = channels;
        row.pixels = out.side;
        row.weights = block.pointwise.data();
        row.bias = block.bias.data();
        row.outChannels = block.outChannels;
        row.skip = skip;
        row.skipChannels = channels;
        row.relu = true;
        row.out = out.Row(y);
        kernels.pointwise(row);
    }
}

void RunHead(const FaceHead& head, const Activation& in, std::vector<float>& out,
             const FaceKernels& kernels) {
    for (std::int32_t y = 0; y < head.side; ++y) {
        PointwiseRow row;
        row.in = in.Row(y);
        row.inStride = in.channels;
        row.inChannels = in.channels;
        row.pixels = head.side;
        row.weights = head.weights.data();
        row.bias = head.bias.data();
        row.outChannels = head.outChannels;
        row.out = out.data() + Size(y * head.side * head.outChannels);
        kernels.pointwise(row);
    }
}

void Reserve(std::vector<float>& buffer, std::size_t size) {
    if (buffer.size() < size) {
        buffer.assign(size, 0.0f);
    }
}

}  // namespace

void PrepareFaceNet(const FaceModel& model, FaceNetState& state) {
    const std::int32_t stemSide = model.inputSide / 2;
    std::size_t activation = ActivationSize(stemSide, FACE_STEM_CHANNELS);
    std::size_t row = Size(stemSide * FACE_STEM_TAPS);
    std::size_t pooled = 0;
    for (const FaceBlock& block : model.blocks) {
        const std::int32_t outSide = block.inSide / block.stride;
        activation = std::max(activation, ActivationSize(outSide, block.outChannels));
        row = std::max(row, Size(outSide * block.inChannels));
        pooled = std::max(pooled, Size(outSide * block.inChannels));
    }
    const std::int32_t inputStride = model.inputSide + 2 * FACE_INPUT_BORDER;
    const std::size_t input = Size(3 * inputStride * inputStride);
    if (state.input.size() != input) {
        state.input.assign(input, 0.0f);  // the border is written only here
    }
    Reserve(state.activations[0], activation);
    Reserve(state.activations[1], activation);
    Reserve(state.row, row);
    Reserve(state.pooled, pooled);
    for (int grid = 0; grid < 2; ++grid) {
        const FaceHead& head = model.heads[grid];
        Reserve(state.heads[grid], Size(head.side * head.side * head.outChannels));
    }
}

void RunFaceNet(const FaceModel& model, FaceNetState& state, const FaceKernels& kernels) {
    Activation current{state.activations[0].data(), model.inputSide / 2, FACE_STEM_CHANNELS};
    current.ClearBorder();
    RunStem(model, state, current, kernels);
    for (std::size_t b = 0; b < model.blocks.size(); ++b) {
        const FaceBlock& block = model.blocks[b];
        const Activation next{current.data == state.activations[0].data()
                                  ? state.activations[1].data()
                                  : state.activations[0].data(),
                              block.inSide / block.stride, block.outChannels};
        next.ClearBorder();
        RunBlock(block, current, next, state, kernels);
        for (int grid = 0; grid < 2; ++grid) {
            if (model.heads[grid].block == static_cast<std::int32_t>(b)) {
                RunHead(model.heads[grid], next, state.heads[grid], kernels);
            }
        }
        current = next;
    }
}
