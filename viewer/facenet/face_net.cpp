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

// A layer's last FACE_RING_ROWS rows of side pixels of `channels` planes, each plane inside a zero
// column on either side; rows outside 0 .. side - 1 read as zeros.
struct Ring {
    float* data;
    const float* zeros;
    std::int32_t side;
    std::int32_t channels;

    std::int32_t PlaneStride() const { return side + 2; }
    // Row y's first plane, at its first pixel inside the border.
    float* Out(std::int32_t y) const {
        return data + Size((y % FACE_RING_ROWS) * channels * PlaneStride() + 1);
    }
    const float* In(std::int32_t y) const { return y < 0 || y >= side ? zeros + 1 : Out(y); }
};

std::size_t RingSize(std::int32_t side, std::int32_t channels) {
    return Size(FACE_RING_ROWS) * Size(channels) * Size(side + 2);
}

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
    // Output pixel (x, y) reads input rows 2y - 1 .. 2y + 3 and columns 2x - 1 .. 2x + 3: for the
    // row of pixels, each tap is a run of one input plane, of odd, even, odd, even, odd columns.
    const float** taps = net.state.inRows.data();
    for (std::int32_t ky = 0; ky < 5; ++ky) {
        for (std::int32_t kx = 0; kx < 5; ++kx) {
            for (std::int32_t channel = 0; channel < 3; ++channel) {
                *taps++ =
                    FaceInputRow(net.model, net.state, 2 * y + ky - 1, channel, (kx + 1) % 2) +
                    (kx + 1) / 2 - 1;
            }
        }
    }
    PointwiseRow row;
    row.in = net.state.inRows.data();
    row.inChannels = FACE_STEM_TAPS;
    row.pixels = out.side;
    row.weights = net.model.stemWeights.data();
    row.bias = net.model.stemBias.data();
    row.outChannels = FACE_STEM_CHANNELS;
    row.relu = true;
    row.out = out.Out(y);
    row.outStride = out.PlaneStride();
    net.kernels.pointwise(row);
}

// Points state.inRows at the planes of a row of `channels` planes, `stride` floats apart.
const float* const* PlaneRows(FaceNetState& state, const float* first, std::int32_t channels,
                              std::int32_t stride) {
    for (std::int32_t c = 0; c < channels; ++c) {
        state.inRows[Size(c)] = first + Size(c * stride);
    }
    return state.inRows.data();
}

void BlockRow(Net& net, const FaceBlock& block, const Ring& in, const Ring& out, std::int32_t y) {
    const std::int32_t channels = in.channels;
    // Stride 1 reads rows y - 1 .. y + 1 from column -1; stride 2 (padded only after the end)
    // reads rows 2y .. 2y + 2 from column 0.
    const std::int32_t first = block.stride == 1 ? y - 1 : 2 * y;
    const std::int32_t column = block.stride == 1 ? -1 : 0;
    DepthwiseRow depthwise;
    for (std::int32_t ky = 0; ky < 3; ++ky) {
        depthwise.rows[ky] = in.In(first + ky) + column;
    }
    depthwise.inStride = in.PlaneStride();
    depthwise.stride = block.stride;
    depthwise.width = out.side;
    depthwise.channels = channels;
    depthwise.weights = block.depthwise.data();
    depthwise.out = net.state.row.data();
    depthwise.pooled = block.skip && block.stride == 2 ? net.state.pooled.data() : nullptr;
    net.kernels.depthwise(depthwise);

    PointwiseRow row;
    row.in = PlaneRows(net.state, net.state.row.data(), channels, out.side);
    row.inChannels = channels;
    row.pixels = out.side;
    row.weights = block.pointwise.data();
    row.bias = block.bias.data();
    row.outChannels = block.outChannels;
    if (block.skip && block.stride == 1) {
        row.skip = in.In(y);
        row.skipStride = in.PlaneStride();
    } else if (block.skip) {
        row.skip = net.state.pooled.data();
        row.skipStride = out.side;
    }
    row.skipChannels = channels;
    row.relu = true;
    row.out = out.Out(y);
    row.outStride = out.PlaneStride();
    net.kernels.pointwise(row);
}

void HeadRow(Net& net, int grid, const Ring& in, std::int32_t y) {
    const FaceHead& head = net.model.heads[grid];
    PointwiseRow row;
    row.in = PlaneRows(net.state, in.In(y), in.channels, in.PlaneStride());
    row.inChannels = in.channels;
    row.pixels = head.side;
    row.weights = head.weights.data();
    row.bias = head.bias.data();
    row.outChannels = head.outChannels;
    row.out = net.state.row.data();
    row.outStride = head.side;
    net.kernels.pointwise(row);
    // The decoder reads the grid cell by cell.
    float* cells = net.state.heads[grid].data() + Size(y * head.side * head.outChannels);
    for (std::int32_t x = 0; x < head.side; ++x) {
        for (std::int32_t o = 0; o < head.outChannels; ++o) {
            cells[Size(x * head.outChannels + o)] = net.state.row[Size(o * head.side + x)];
        }
    }
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
        zeros = std::max(zeros, Size(channels * (side + 2)));
    }
    std::size_t row = 0, pooled = 0, inRows = Size(FACE_STEM_TAPS);
    for (const FaceBlock& block : model.blocks) {
        const std::size_t outSide = Size(block.inSide / block.stride);
        row = std::max(row, outSide * Size(block.inChannels));
        pooled = std::max(pooled, outSide * Size(block.inChannels));
        inRows = std::max({inRows, Size(block.inChannels), Size(block.outChannels)});
    }
    for (const FaceHead& head : model.heads) {
        row = std::max(row, Size(head.side * head.outChannels));
    }
    state.input.assign(
        Size(3 * 2 * (model.inputSide + 2 * FACE_INPUT_BORDER) * (model.inputSide / 2 + 2)), 0.0f);
    state.rings.assign(rings, 0.0f);
    state.zeros.assign(zeros, 0.0f);
    state.row.assign(row, 0.0f);
    state.pooled.assign(pooled, 0.0f);
    state.inRows.assign(inRows, nullptr);
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
