#include "face_net.h"

#include <algorithm>
#include <cstring>

namespace {

std::size_t Size(std::int32_t value) {
    return static_cast<std::size_t>(value);
}

// Layer 0 is the stem, layer b + 1 block b.
std::int32_t LayerSide(const FaceModel& model, std::size_t layer) {
    if (layer == 0) {
        return model.inputSide / 2;
    }
    const FaceBlock& block = model.blocks[layer - 1];
    return block.inSide / block.stride;
}

std::int32_t LayerChannels(const FaceModel& model, std::size_t layer) {
    return layer == 0 ? FACE_STEM_CHANNELS : model.blocks[layer - 1].outChannels;
}

std::size_t RingSize(std::int32_t side, std::int32_t channels) {
    return Size(FACE_RING_ROWS) * Size(side + 2) * Size(channels);
}

// A layer's last FACE_RING_ROWS rows of side pixels of `channels` floats, each inside a zero
// column on either side; rows outside 0 .. side - 1 read as zeros.
struct Ring {
    float* data;
    const float* zeros;
    std::int32_t side;
    std::int32_t channels;

    // Row y's first pixel inside the border.
    float* Out(std::int32_t y) const {
        return data + Size((y % FACE_RING_ROWS) * (side + 2) * channels + channels);
    }
    const float* In(std::int32_t y) const { return y < 0 || y >= side ? zeros + channels : Out(y); }
};

struct Net {
    const FaceModel& model;
    FaceNetState& state;
    const FaceKernels& kernels;

    Ring RingOf(std::size_t layer) const {
        return {state.rings.data() + state.ringStarts[layer], state.zeros.data(),
                LayerSide(model, layer), LayerChannels(model, layer)};
    }
};

void StemRow(Net& net, const Ring& out, std::int32_t y) {
    // Output pixel (x, y) reads input rows 2y - 1 .. 2y + 3 and columns 2x - 1 .. 2x + 3; a row's
    // five pixels are 15 consecutive floats, so the taps are gathered five runs at a time.
    const std::int32_t inStride = 3 * (net.model.inputSide + 2 * FACE_INPUT_BORDER);
    float* taps = net.state.row.data();
    for (std::int32_t x = 0; x < out.side; ++x) {
        for (std::int32_t ky = 0; ky < 5; ++ky) {
            const float* from =
                net.state.input.data() + Size((2 * y + ky + FACE_INPUT_BORDER - 1) * inStride +
                                              3 * (2 * x + FACE_INPUT_BORDER - 1));
            std::memcpy(taps + Size(x * FACE_STEM_TAPS + ky * 15), from, 15 * sizeof(float));
        }
    }
    PointwiseRow row;
    row.in = taps;
    row.inStride = FACE_STEM_TAPS;
    row.inChannels = FACE_STEM_TAPS;
    row.pixels = out.side;
    row.weights = net.model.stemWeights.data();
    row.bias = net.model.stemBias.data();
    row.outChannels = FACE_STEM_CHANNELS;
    row.relu = true;
    row.out = out.Out(y);
    net.kernels.pointwise(row);
}

void BlockRow(Net& net, const FaceBlock& block, const Ring& in, const Ring& out, std::int32_t y) {
    const std::int32_t channels = in.channels;
    // Stride 1 reads rows y - 1 .. y + 1 from column -1; stride 2 (padded only after the end)
    // reads rows 2y .. 2y + 2 from column 0.
    const std::int32_t first = block.stride == 1 ? y - 1 : 2 * y;
    const std::int32_t column = block.stride == 1 ? -channels : 0;
    const float* const rows[3] = {in.In(first) + column, in.In(first + 1) + column,
                                  in.In(first + 2) + column};
    net.kernels.depthwise(rows, block.stride, out.side, channels, block.depthwise.data(),
                          net.state.row.data());

    const float* skip = nullptr;
    if (block.skip && block.stride == 1) {
        skip = in.In(y);
    } else if (block.skip) {
        const float* top = in.In(2 * y);
        const float* bottom = in.In(2 * y + 1);
        for (std::int32_t x = 0; x < out.side; ++x) {
            for (std::int32_t c = 0; c < channels; ++c) {
                const std::int32_t at = 2 * x * channels + c;
                net.state.pooled[Size(x * channels + c)] =
                    std::max(std::max(top[at], top[at + channels]),
                             std::max(bottom[at], bottom[at + channels]));
            }
        }
        skip = net.state.pooled.data();
    }

    PointwiseRow row;
    row.in = net.state.row.data();
    row.inStride = channels;
    row.inChannels = channels;
    row.pixels = out.side;
    row.weights = block.pointwise.data();
    row.bias = block.bias.data();
    row.outChannels = block.outChannels;
    row.skip = skip;
    row.skipChannels = channels;
    row.relu = true;
    row.out = out.Out(y);
    net.kernels.pointwise(row);
}

void HeadRow(Net& net, int grid, const Ring& in, std::int32_t y) {
    const FaceHead& head = net.model.heads[grid];
    PointwiseRow row;
    row.in = in.In(y);
    row.inStride = in.channels;
    row.inChannels = in.channels;
    row.pixels = head.side;
    row.weights = head.weights.data();
    row.bias = head.bias.data();
    row.outChannels = head.outChannels;
    row.out = net.state.heads[grid].data() + Size(y * head.side * head.outChannels);
    net.kernels.pointwise(row);
}

// Computes the next row of a layer, first the rows of the layer below that it reads.
void NextRow(Net& net, std::size_t layer) {
    std::int32_t& done = net.state.done[layer];
    const Ring out = net.RingOf(layer);
    if (layer == 0) {
        StemRow(net, out, done);
    } else {
        const FaceBlock& block = net.model.blocks[layer - 1];
        const Ring in = net.RingOf(layer - 1);
        const std::int32_t lastRead =
            std::min(in.side - 1, block.stride * done + (block.stride == 1 ? 1 : 2));
        while (net.state.done[layer - 1] <= lastRead) {
            NextRow(net, layer - 1);
        }
        BlockRow(net, block, in, out, done);
        for (int grid = 0; grid < 2; ++grid) {
            if (static_cast<std::size_t>(net.model.heads[grid].block) + 1 == layer) {
                HeadRow(net, grid, out, done);
            }
        }
    }
    ++done;
}

}  // namespace

void PrepareFaceNet(const FaceModel& model, FaceNetState& state) {
    if (state.model == &model) {
        return;
    }
    // All zero: the kernels write only inside the borders, which stay zero from here on.
    state = FaceNetState{};
    state.model = &model;
    const std::size_t layers = model.blocks.size() + 1;
    std::size_t rings = 0, zeros = 0;
    for (std::size_t layer = 0; layer < layers; ++layer) {
        const std::int32_t side = LayerSide(model, layer);
        const std::int32_t channels = LayerChannels(model, layer);
        state.ringStarts.push_back(rings);
        rings += RingSize(side, channels);
        zeros = std::max(zeros, Size((side + 2) * channels));
    }
    std::size_t row = Size(model.inputSide / 2 * FACE_STEM_TAPS), pooled = 0;
    for (const FaceBlock& block : model.blocks) {
        const std::size_t outSide = Size(block.inSide / block.stride);
        row = std::max(row, outSide * Size(block.inChannels));
        pooled = std::max(pooled, outSide * Size(block.inChannels));
    }
    const std::int32_t inputStride = model.inputSide + 2 * FACE_INPUT_BORDER;
    state.input.assign(Size(3 * inputStride * inputStride), 0.0f);
    state.rings.assign(rings, 0.0f);
    state.zeros.assign(zeros, 0.0f);
    state.row.assign(row, 0.0f);
    state.pooled.assign(pooled, 0.0f);
    state.done.assign(layers, 0);
    for (int grid = 0; grid < 2; ++grid) {
        const FaceHead& head = model.heads[grid];
        state.heads[grid].assign(Size(head.side * head.side * head.outChannels), 0.0f);
    }
}

void RunFaceNet(const FaceModel& model, FaceNetState& state, const FaceKernels& kernels) {
    Net net{model, state, kernels};
    std::fill(state.done.begin(), state.done.end(), 0);
    const std::size_t last = state.done.size() - 1;
    while (state.done[last] < LayerSide(model, last)) {
        NextRow(net, last);
    }
}
