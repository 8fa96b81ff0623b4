#include "face_net.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "simd_level.h"

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

// Layers this narrow keep their pixels channel-interleaved: a vector of 16 pixels would run
// half empty in a row of 8, and a row of 16 leaves the 3x3 kernel too little to do per channel.
constexpr std::int32_t INTERLEAVED_SIDE = 16;

bool Interleaved(const FaceModel& model, std::size_t layer) {
    return layer > 0 && LayerSide(model, layer) <= INTERLEAVED_SIDE;
}

// A layer's last FACE_RING_ROWS rows of side pixels of `channels` channels, as channel planes each
// after a cache line of zeros, its border, or as channel-interleaved pixels inside a zero pixel on
// either side; rows outside 0 .. side - 1 read as zeros. Planes start on a cache line (in rows a
// multiple of it wide), so that the kernels' whole vectors never straddle two lines.
struct Ring {
    float* data;
    const float* zeros;
    std::int32_t side;
    std::int32_t channels;
    bool interleaved;

    std::int32_t PlaneStride() const { return side + CACHE_LINE_FLOATS; }
    std::int32_t Border() const { return interleaved ? channels : CACHE_LINE_FLOATS; }
    std::int32_t RowSize() const {
        return interleaved ? channels * (side + 2) : CACHE_LINE_FLOATS + channels * PlaneStride();
    }
    // Row y's first pixel inside the border (of its first plane).
    float* Out(std::int32_t y) const {
        return data + Size((y % FACE_RING_ROWS) * RowSize() + Border());
    }
    const float* In(std::int32_t y) const { return y < 0 || y >= side ? zeros + Border() : Out(y); }
};

struct Net {
    const FaceModel& model;
    FaceNetState& state;
    const FaceKernels& kernels;
    const FaceInputSource& source;
    std::int32_t inputRows;  // input rows written so far
    // state's rings, depthwise row and pooled row from their first cache line on
    float* rings;
    float* row;
    float* pooled;

    Ring RingOf(std::size_t layer) const {
        return {rings + state.ringStarts[layer], state.zeros.data(), LayerSide(model, layer),
                LayerChannels(model, layer), Interleaved(model, layer)};
    }
};

// Has the input written up to row last, noting which rows repeat the row above.
void ReadInput(Net& net, std::int32_t last) {
    const std::int32_t side = net.model.inputSide;
    while (net.inputRows < std::min(side, last + 1)) {
        const std::int32_t row = net.inputRows++;
        net.source.fill(net.source.context, row);
        bool repeats = row > 0;
        for (std::int32_t plane = 0; plane < 6 && repeats; ++plane) {
            repeats = std::memcmp(FaceInputRow(net.model, net.state, row, plane / 2, plane % 2),
                                  FaceInputRow(net.model, net.state, row - 1, plane / 2, plane % 2),
                                  Size(side / 2) * sizeof(float)) == 0;
        }
        net.state.repeats[0][Size(row)] = repeats;
    }
}

void StemRow(Net& net, const Ring& out, std::int32_t y) {
    // Output pixel (x, y) reads input rows 2y - 1 .. 2y + 3 and columns 2x - 1 .. 2x + 3: for the
    // row of pixels, each tap is a run of one input plane, of odd, even, odd, even, odd columns.
    const std::int32_t side = net.model.inputSide;
    const float** taps = net.state.inRows.data();
    for (std::int32_t ky = 0; ky < 5; ++ky) {
        const std::int32_t row = 2 * y + ky - 1;
        for (std::int32_t kx = 0; kx < 5; ++kx) {
            for (std::int32_t channel = 0; channel < 3; ++channel) {
                // Rows above and below the input read as zeros.
                const float* plane =
                    row < 0 || row >= side
                        ? net.state.zeros.data() + 1
                        : FaceInputRow(net.model, net.state, row, channel, (kx + 1) % 2);
                *taps++ = plane + (kx + 1) / 2 - 1;
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

// Transposes rows channel planes of `pixels` pixels, `stride` floats apart, into pixels.
void Interleave(const float* planes, std::int32_t stride, std::int32_t channels,
                std::int32_t pixels, float* out) {
    for (std::int32_t c = 0; c < channels; ++c) {
        for (std::int32_t x = 0; x < pixels; ++x) {
            out[Size(x * channels + c)] = planes[Size(c * stride + x)];
        }
    }
}

// The depthwise row of a block whose input is channel planes, into state.row (and the pooled skip
// into state.pooled), as planes of out.side pixels.
void PlanarDepthwise(Net& net, const FaceBlock& block, const Ring& in, const Ring& out,
                     std::int32_t y) {
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
    depthwise.channels = in.channels;
    depthwise.weights = block.depthwise.data();
    depthwise.out = net.row;
    depthwise.pooled = block.skip && block.stride == 2 ? net.pooled : nullptr;
    net.kernels.depthwise(depthwise);
}

void PlanarBlockRow(Net& net, const FaceBlock& block, const Ring& in, const Ring& out,
                    std::int32_t y) {
    const std::int32_t channels = in.channels;
    PlanarDepthwise(net, block, in, out, y);
    PointwiseRow row;
    row.in = PlaneRows(net.state, net.row, channels, out.side);
    row.inChannels = channels;
    row.pixels = out.side;
    row.weights = block.pointwise.data();
    row.bias = block.bias.data();
    row.outChannels = block.outChannels;
    if (block.skip && block.stride == 1) {
        row.skip = in.In(y);
        row.skipStride = in.PlaneStride();
    } else if (block.skip) {
        row.skip = net.pooled;
        row.skipStride = out.side;
    }
    row.skipChannels = channels;
    row.relu = true;
    row.out = out.Out(y);
    row.outStride = out.PlaneStride();
    net.kernels.pointwise(row);
}

void InterleavedBlockRow(Net& net, const FaceBlock& block, const Ring& in, const Ring& out,
                         std::int32_t y) {
    const std::int32_t channels = in.channels;
    const float* depthwise = net.row;
    const float* skip = nullptr;
    if (!in.interleaved) {
        // The first narrow layer: its input's planes turned into pixels after the depthwise row.
        PlanarDepthwise(net, block, in, out, y);
        Interleave(net.row, out.side, channels, out.side, net.state.interleaved.data());
        depthwise = net.state.interleaved.data();
        if (block.skip) {
            const bool pooled = block.stride == 2;
            Interleave(pooled ? net.pooled : in.In(y), pooled ? out.side : in.PlaneStride(),
                       channels, out.side, net.state.interleavedSkip.data());
            skip = net.state.interleavedSkip.data();
        }
    } else {
        // Stride 1 reads rows y - 1 .. y + 1 from column -1; stride 2 (padded only after the end)
        // reads rows 2y .. 2y + 2 from column 0.
        const std::int32_t first = block.stride == 1 ? y - 1 : 2 * y;
        const std::int32_t column = block.stride == 1 ? -channels : 0;
        const float* const rows[3] = {in.In(first) + column, in.In(first + 1) + column,
                                      in.In(first + 2) + column};
        net.kernels.depthwiseInterleaved(rows, block.stride, out.side, channels,
                                         block.depthwise.data(), net.row);
        if (block.skip && block.stride == 1) {
            skip = in.In(y);
        } else if (block.skip) {
            const float* top = in.In(2 * y);
            const float* bottom = in.In(2 * y + 1);
            for (std::int32_t x = 0; x < out.side; ++x) {
                for (std::int32_t c = 0; c < channels; ++c) {
                    const std::int32_t at = 2 * x * channels + c;
                    net.pooled[Size(x * channels + c)] =
                        std::max(std::max(top[at], top[at + channels]),
                                 std::max(bottom[at], bottom[at + channels]));
                }
            }
            skip = net.pooled;
        }
    }
    InterleavedPointwiseRow row;
    row.in = depthwise;
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
    net.kernels.pointwiseInterleaved(row);
}

// The grids (16 x 16 and 8 x 8) read narrow layers, whose pixels are channel-interleaved as the
// decoder reads the grid.
void HeadRow(Net& net, int grid, const Ring& in, std::int32_t y) {
    const FaceHead& head = net.model.heads[grid];
    InterleavedPointwiseRow row;
    row.in = in.In(y);
    row.inStride = in.channels;
    row.inChannels = in.channels;
    row.pixels = head.side;
    row.weights = head.weights.data();
    row.bias = head.bias.data();
    row.outChannels = head.outChannels;
    row.out = net.state.heads[grid].data() + Size(y * head.side * head.outChannels);
    net.kernels.pointwiseInterleaved(row);
}

// Whether the rows first .. last of a layer below, of side rows, are those that the row above read
// (stride rows higher up), bit for bit: then so is the row they make.
bool ReadsRepeats(const std::vector<std::uint8_t>& repeats, std::int32_t side, std::int32_t stride,
                  std::int32_t first, std::int32_t last) {
    if (first - stride < 0 || last >= side) {
        return false;
    }
    for (std::int32_t row = first - stride + 1; row <= last; ++row) {
        if (repeats[Size(row)] == 0) {
            return false;
        }
    }
    return true;
}

// Copies the row above of a ring into row y, borders and all.
void RepeatRow(const Ring& ring, std::int32_t y) {
    std::memcpy(ring.Out(y) - ring.Border(), ring.Out(y - 1) - ring.Border(),
                Size(ring.RowSize()) * sizeof(float));
}

// Computes the next row of a layer, first the rows of the layer below that it reads.
void NextRow(Net& net, std::size_t layer) {
    std::int32_t& done = net.state.done[layer];
    const Ring out = net.RingOf(layer);
    std::uint8_t& repeats = net.state.repeats[layer + 1][Size(done)];
    if (layer == 0) {
        // Input rows 2y - 1 .. 2y + 3.
        ReadInput(net, 2 * done + 3);
        repeats =
            ReadsRepeats(net.state.repeats[0], net.model.inputSide, 2, 2 * done - 1, 2 * done + 3);
        if (repeats && net.state.copyRepeats) {
            RepeatRow(out, done);
        } else {
            StemRow(net, out, done);
        }
    } else {
        const FaceBlock& block = net.model.blocks[layer - 1];
        const Ring in = net.RingOf(layer - 1);
        const std::int32_t lastRead =
            std::min(in.side - 1, block.stride * done + (block.stride == 1 ? 1 : 2));
        while (net.state.done[layer - 1] <= lastRead) {
            NextRow(net, layer - 1);
        }
        // Stride 1 reads rows y - 1 .. y + 1, stride 2 rows 2y .. 2y + 2. Narrow layers' rows cost
        // little and feed the grids, so they are always computed.
        const std::int32_t first = block.stride == 1 ? done - 1 : 2 * done;
        repeats = ReadsRepeats(net.state.repeats[layer], in.side, block.stride, first, first + 2);
        if (repeats && net.state.copyRepeats && !out.interleaved) {
            RepeatRow(out, done);
        } else if (out.interleaved) {
            InterleavedBlockRow(net, block, in, out, done);
        } else {
            PlanarBlockRow(net, block, in, out, done);
        }
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
        const Ring ring{nullptr, nullptr, side, channels, Interleaved(model, layer)};
        state.ringStarts.push_back(rings);
        // Whole lines, so that the next ring starts on one too.
        rings += (Size(FACE_RING_ROWS * ring.RowSize()) + CACHE_LINE_FLOATS - 1) /
                 CACHE_LINE_FLOATS * CACHE_LINE_FLOATS;
        zeros = std::max(zeros, Size(ring.RowSize()));
    }
    std::size_t row = 0, pooled = 0, inRows = Size(FACE_STEM_TAPS);
    for (const FaceBlock& block : model.blocks) {
        const std::size_t outSide = Size(block.inSide / block.stride);
        row = std::max(row, outSide * Size(block.inChannels));
        pooled = std::max(pooled, outSide * Size(block.inChannels));
        inRows = std::max({inRows, Size(block.inChannels), Size(block.outChannels)});
    }
    const std::size_t inputRow = Size(3 * 2 * (model.inputSide / 2 + 2));
    zeros = std::max(zeros, inputRow);
    state.input.assign(Size(FACE_INPUT_ROWS) * inputRow, 0.0f);
    state.rings.assign(rings + CACHE_LINE_FLOATS, 0.0f);
    state.zeros.assign(zeros, 0.0f);
    state.row.assign(row + CACHE_LINE_FLOATS, 0.0f);
    state.pooled.assign(pooled + CACHE_LINE_FLOATS, 0.0f);
    state.interleaved.assign(pooled, 0.0f);
    state.interleavedSkip.assign(pooled, 0.0f);
    state.inRows.assign(inRows, nullptr);
    state.done.assign(layers, 0);
    state.repeats.assign(layers + 1, {});
    state.repeats[0].assign(Size(model.inputSide), 0);
    for (std::size_t layer = 0; layer < layers; ++layer) {
        state.repeats[layer + 1].assign(Size(LayerSide(model, layer)), 0);
    }
    for (int grid = 0; grid < 2; ++grid) {
        const FaceHead& head = model.heads[grid];
        state.heads[grid].assign(Size(head.side * head.side * head.outChannels), 0.0f);
    }
}

void RunFaceNet(const FaceModel& model, FaceNetState& state, const FaceKernels& kernels,
                const FaceInputSource& source) {
    Net net{model,
            state,
            kernels,
            source,
            0,
            CacheLineAligned(state.rings),
            CacheLineAligned(state.row),
            CacheLineAligned(state.pooled)};
    std::fill(state.done.begin(), state.done.end(), 0);
    const std::size_t last = state.done.size() - 1;
    while (state.done[last] < LayerSide(model, last)) {
        NextRow(net, last);
    }
}
