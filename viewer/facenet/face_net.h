// Runs a face model on its input tensor. Activations are rows of channel-interleaved pixels with a
// one-pixel zero border, so the 3x3 kernels need no edge cases. The network runs as a wavefront
// over rows: a layer computes its next row as soon as the layer below holds the rows it reads,
// each layer keeping only its last FACE_RING_ROWS rows, so the working set stays in the
// processor's cache. A block's row is the depthwise row, then the 1x1 convolution with the skip
// added and ReLU applied as it is stored; a grid's head runs on its block's rows as they appear.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "face_kernels.h"
#include "face_model.h"

// The border the input tensor keeps around its side x side pixels: the stem reads two beyond.
inline constexpr std::int32_t FACE_INPUT_BORDER = 2;
// Rows a layer keeps: the next layer reads three at a time.
inline constexpr std::int32_t FACE_RING_ROWS = 4;

// Working memory, set up once for a model by PrepareFaceNet.
struct FaceNetState {
    const FaceModel* model = nullptr;  // the model it is set up for
    // The RGB input, rows top-down, (side + 4) x (side + 4) pixels of 3 floats; its border stays 0.
    std::vector<float> input;
    std::vector<float> rings;             // every layer's last rows (the stem's, then each block's)
    std::vector<std::size_t> ringStarts;  // where each layer's rows begin in rings
    std::vector<float> zeros;             // a zero row, read above and below a layer's rows
    std::vector<float> row;               // the stem's input taps, or a depthwise row
    std::vector<float> pooled;            // a max-pooled row for a stride-2 block's skip
    std::vector<std::int32_t> done;       // rows each layer has computed so far
    // Per grid, the head's output: cell by cell (rows top-down), head.outChannels values each:
    // the anchors' raw scores, then their box values.
    std::vector<float> heads[2];
};

// Sets the buffers up for model, all zero; nothing happens when they are set up for it already.
void PrepareFaceNet(const FaceModel& model, FaceNetState& state);

// The input pixel (x, y) of a prepared state: 3 floats, red, green, blue.
inline float* FaceInputPixel(const FaceModel& model, FaceNetState& state, std::int32_t x,
                             std::int32_t y) {
    const std::int32_t stride = model.inputSide + 2 * FACE_INPUT_BORDER;
    return state.input.data() + 3 * ((y + FACE_INPUT_BORDER) * stride + x + FACE_INPUT_BORDER);
}

// Runs the network on state.input (of a prepared state) and fills state.heads.
void RunFaceNet(const FaceModel& model, FaceNetState& state, const FaceKernels& kernels);
