// Runs a face model on its input tensor. Activations are kept as rows of channel-interleaved
// pixels with a one-pixel zero border, so the 3x3 kernels need no edge cases, and each block is
// one pass over its output rows: the depthwise row, then the 1x1 convolution with the skip added
// and ReLU applied as it is stored.
#pragma once

#include <cstdint>
#include <vector>

#include "face_kernels.h"
#include "face_model.h"

// The border the input tensor keeps around its side x side pixels: the stem reads two beyond.
inline constexpr std::int32_t FACE_INPUT_BORDER = 2;

// Working memory, sized once for a model by PrepareFaceNet.
struct FaceNetState {
    // The RGB input, rows top-down, (side + 4) x (side + 4) pixels of 3 floats; its border stays 0.
    std::vector<float> input;
    std::vector<float> activations[2];  // a block reads one and writes the other
    std::vector<float> row;             // the stem's input taps, or a depthwise row
    std::vector<float> pooled;          // a max-pooled row for a stride-2 block's skip
    // Per grid, the head's output: cell by cell (rows top-down), head.outChannels values each:
    // the anchors' raw scores, then their box values.
    std::vector<float> heads[2];
};

// Sizes the buffers for model (nothing is allocated when they are large enough already).
void PrepareFaceNet(const FaceModel& model, FaceNetState& state);

// The input pixel (x, y) of a prepared state: 3 floats, red, green, blue.
inline float* FaceInputPixel(const FaceModel& model, FaceNetState& state, std::int32_t x,
                             std::int32_t y) {
    const std::int32_t stride = model.inputSide + 2 * FACE_INPUT_BORDER;
    return state.input.data() + 3 * ((y + FACE_INPUT_BORDER) * stride + x + FACE_INPUT_BORDER);
}

// Runs the network on state.input (of a prepared state) and fills state.heads.
void RunFaceNet(const FaceModel& model, FaceNetState& state, const FaceKernels& kernels);
