// Runs a face model on its input tensor. Activations are rows of channel planes (face_kernels.h),
// each plane starting on a cache line after a line of zeros, its border, so the 3x3 kernels need
// no edge cases and whole vectors never straddle two lines; layers of 16 x 16 pixels and less keep
// rows of channel-interleaved pixels with a zero pixel either side.
// The network runs as a wavefront over rows: a layer computes its next row as soon as the layer
// below holds the rows it reads, each layer keeping only its last FACE_RING_ROWS rows, so the
// working set stays in the processor's cache. A block's row is the depthwise row, then the 1x1
// convolution with the skip added and ReLU applied as it is stored; a grid's head runs on its
// block's rows as they appear.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "face_kernels.h"
#include "face_model.h"

// Input rows the stem keeps: it reads five at a time.
inline constexpr std::int32_t FACE_INPUT_ROWS = 5;
// Rows a layer keeps: the next layer reads three at a time.
inline constexpr std::int32_t FACE_RING_ROWS = 3;

// Working memory, set up once for a model by PrepareFaceNet.
struct FaceNetState {
    const FaceModel* model = nullptr;  // the model it is set up for
    // The RGB input's last FACE_INPUT_ROWS rows, each written just before the stem reads it (the
    // whole input would not stay in the processor's cache): a row is a plane of the even columns
    // and one of the odd ones for red, green and blue (so the stride-2 stem reads each of its taps
    // as consecutive floats), each of side / 2 + 2 floats whose first and last stay 0.
    std::vector<float> input;
    // Every layer's last rows (the stem's, then each block's) from the first cache line on, each
    // layer's from ringStarts[layer] there.
    std::vector<float> rings;
    std::vector<std::size_t> ringStarts;
    std::vector<float> zeros;            // a zero row, read above and below a layer's rows
    std::vector<float> row;              // a depthwise row, from the first cache line on
    std::vector<float> pooled;           // a max-pooled row for a stride-2 block's skip, likewise
    std::vector<float> interleaved;      // the first narrow layer's depthwise row as pixels
    std::vector<float> interleavedSkip;  // and its skip
    std::vector<const float*> inRows;    // each input channel's row for the 1x1 kernel
    std::vector<std::int32_t> done;      // rows each layer has computed so far
    // Per layer, the input's first, whether each row is the row above bit for bit: the letterbox's
    // bars are runs of such rows, and a row whose rows below repeat too is copied, not computed.
    std::vector<std::vector<std::uint8_t>> repeats;
    bool copyRepeats = true;  // false: every row is computed (the tests' reference)
    // Per grid, the head's output: cell by cell (rows top-down), head.outChannels values each:
    // the anchors' raw scores, then their box values.
    std::vector<float> heads[2];
};

// Sets the buffers up for model, all zero; nothing happens when they are set up for it already.
void PrepareFaceNet(const FaceModel& model, FaceNetState& state);

// Row y (0 .. side - 1) of an input plane of a prepared state (channel 0 red, 1 green, 2 blue;
// parity 0 the even columns, 1 the odd ones): input pixel x is at [x / 2] of the row of parity
// x % 2. It shares its memory with the rows FACE_INPUT_ROWS apart.
inline float* FaceInputRow(const FaceModel& model, FaceNetState& state, std::int32_t y,
                           std::int32_t channel, std::int32_t parity) {
    const std::int32_t stride = model.inputSide / 2 + 2;
    return state.input.data() +
           static_cast<std::size_t>(((y % FACE_INPUT_ROWS) * 6 + channel * 2 + parity) * stride +
                                    1);
}

// Writes every input row (0 .. side - 1) with FaceInputRow when the network asks for it, once
// each, top to bottom.
struct FaceInputSource {
    void (*fill)(void* context, std::int32_t y) = nullptr;
    void* context = nullptr;
};

// Runs the network on the input rows of source (into a prepared state) and fills state.heads.
void RunFaceNet(const FaceModel& model, FaceNetState& state, const FaceKernels& kernels,
                const FaceInputSource& source);
