#include "face_model.h"

#include <bit>
#include <cstdio>
#include <cstring>
#include <span>

#include "onnx_graph.h"
#include "regular_file.h"
#include "sha256.h"

static_assert(std::endian::native == std::endian::little, "weights are read as little-endian");

namespace {

// A run of `repeat` identical blocks.
struct BlockRun {
    std::int32_t repeat, inChannels, outChannels, stride;
    bool skip;
};

// A pinned model file and the network it holds.
struct ModelLayout {
    const char* name;  // in a reason
    const char* fileName;
    std::size_t size;
    const char* sha256;
    std::int32_t inputSide;
    std::span<const BlockRun> runs;
};

constexpr BlockRun FRONT_RUNS[] = {{1, 24, 24, 1, true}, {1, 24, 28, 1, true}, {1, 28, 32, 2, true},
                                   {1, 32, 36, 1, true}, {1, 36, 42, 1, true}, {1, 42, 48, 2, true},
                                   {1, 48, 56, 1, true}, {1, 56, 64, 1, true}, {1, 64, 72, 1, true},
                                   {1, 72, 80, 1, true}, {1, 80, 88, 1, true}, {1, 88, 96, 2, true},
                                   {4, 96, 96, 1, true}};
constexpr BlockRun BACK_RUNS[] = {{7, 24, 24, 1, true}, {1, 24, 24, 2, true}, {7, 24, 24, 1, true},
                                  {1, 24, 48, 2, true}, {7, 48, 48, 1, true}, {1, 48, 96, 2, true},
                                  {7, 96, 96, 1, true}, {1, 96, 96, 2, false}};

const ModelLayout& LayoutOf(FaceModelKind kind) {
    static const ModelLayout FRONT{
        .name = "front",
        .fileName = "face_detection_front_128x128_barracuda.onnx",
        .size = 442005,
        .sha256 = "d388b1cf8a5f6f1af2b3f4c14f6d0f138bab970cd618cccd12dddb7484e82e51",
        .inputSide = 128,
        .runs = FRONT_RUNS,
    };
    static const ModelLayout BACK{
        .name = "back",
        .fileName = "face_detection_back_256x256_barracuda.onnx",
        .size = 603432,
        .sha256 = "427cbbe0fc41448d09e1dc9cfabe2423d997cf2faaeab91fadd09a510b63b8e2",
        .inputSide = 256,
        .runs = BACK_RUNS,
    };
    return kind == FaceModelKind::Front ? FRONT : BACK;
}

// The two grids: cells per side and anchors per cell.
constexpr std::int32_t GRID_SIDES[2] = {16, 8};
constexpr std::int32_t GRID_ANCHORS[2] = {2, 6};

std::int32_t Stored(std::int32_t channels) {
    return (channels + FACE_CHANNEL_STEP - 1) / FACE_CHANNEL_STEP * FACE_CHANNEL_STEP;
}

// Appended piece by piece: GCC 12 at -O3 warns (-Wrestrict) about a literal prepended to a string.
std::string Dims(const std::vector<std::int64_t>& dims) {
    std::string text = "[";
    for (std::size_t i = 0; i < dims.size(); ++i) {
        if (i > 0) {
            text += 'x';
        }
        text += std::to_string(dims[i]);
    }
    text += ']';
    return text;
}

// The float constant that convolution `conv` reads as input `input` (1: weight, 2: bias), which
// must have dims and hold all their values; otherwise null, with a reason.
const OnnxTensor* Constant(const OnnxGraph& graph, std::size_t conv, std::size_t input,
                           const std::vector<std::int64_t>& dims, std::string& error) {
    const std::vector<std::string>& inputs = graph.convInputs[conv];
    const OnnxTensor* tensor =
        input < inputs.size() ? FindInitializer(graph, inputs[input]) : nullptr;
    std::size_t count = 1;
    for (const std::int64_t dim : dims) {
        count *= static_cast<std::size_t>(dim);
    }
    if (tensor == nullptr || tensor->dataType != ONNX_FLOAT || tensor->dims != dims ||
        tensor->rawSize != 4 * count) {
        error = "convolution " + std::to_string(conv) + " has no " +
                (input == 1 ? "weight" : "bias") + " of " + Dims(dims) + " floats";
        return nullptr;
    }
    return tensor;
}

// The weight's first dimension: a convolution's output channels.
std::int64_t OutChannels(const OnnxGraph& graph, std::size_t conv) {
    const std::vector<std::string>& inputs = graph.convInputs[conv];
    const OnnxTensor* weight = inputs.size() > 1 ? FindInitializer(graph, inputs[1]) : nullptr;
    return weight != nullptr && !weight->dims.empty() ? weight->dims[0] : 0;
}

float FloatAt(const OnnxTensor& tensor, std::size_t index) {
    float value = 0;
    std::memcpy(&value, tensor.raw + 4 * index, 4);
    return value;
}

// Packs a [out][in][1][1] weight as [stored in][stored out] at column offset `at`.
void PackPointwise(const OnnxTensor& weight, std::int32_t in, std::int32_t out,
                   std::int32_t storedOut, std::int32_t at, std::vector<float>& packed) {
    for (std::int32_t o = 0; o < out; ++o) {
        for (std::int32_t i = 0; i < in; ++i) {
            packed[static_cast<std::size_t>(i * storedOut + at + o)] =
                FloatAt(weight, static_cast<std::size_t>(o * in + i));
        }
    }
}

// Puts each weight in its place by the order of the Conv nodes: the stem, each block's depthwise
// then 1x1 convolution, then the grids' four, told apart by their output channels. The file is
// already known to be the pinned one, so the operators between them need no checking; the shapes
// are checked so that a mistake here fails cleanly.
bool TakeWeights(const OnnxGraph& graph, const ModelLayout& layout, FaceModel& model,
                 std::string& error) {
    std::size_t convs = 1 + 4;
    for (const BlockRun& run : layout.runs) {
        convs += 2 * static_cast<std::size_t>(run.repeat);
    }
    if (graph.convInputs.size() != convs) {
        error = std::to_string(graph.convInputs.size()) + " convolutions, expected " +
                std::to_string(convs);
        return false;
    }

    const OnnxTensor* stemWeight = Constant(graph, 0, 1, {FACE_STEM_CHANNELS, 3, 5, 5}, error);
    const OnnxTensor* stemBias =
        stemWeight != nullptr ? Constant(graph, 0, 2, {FACE_STEM_CHANNELS}, error) : nullptr;
    if (stemBias == nullptr) {
        return false;
    }
    model.inputSide = layout.inputSide;
    model.stemWeights.assign(FACE_STEM_TAPS * FACE_STEM_CHANNELS, 0.0f);
    model.stemBias.assign(FACE_STEM_CHANNELS, 0.0f);
    for (std::int32_t o = 0; o < FACE_STEM_CHANNELS; ++o) {
        model.stemBias[static_cast<std::size_t>(o)] =
            FloatAt(*stemBias, static_cast<std::size_t>(o));
        for (std::int32_t c = 0; c < 3; ++c) {
            for (std::int32_t tap = 0; tap < 25; ++tap) {
                const auto from = static_cast<std::size_t>((o * 3 + c) * 25 + tap);
                model
                    .stemWeights[static_cast<std::size_t>((tap * 3 + c) * FACE_STEM_CHANNELS + o)] =
                    FloatAt(*stemWeight, from);
            }
        }
    }

    std::size_t conv = 1;
    std::vector<std::int32_t> realOut;  // each block's output channels, before padding
    std::int32_t inSide = layout.inputSide / 2;
    for (const BlockRun& run : layout.runs) {
        for (std::int32_t r = 0; r < run.repeat; ++r, conv += 2) {
            const OnnxTensor* depthwise =
                Constant(graph, conv, 1, {run.inChannels, 1, 3, 3}, error);
            const OnnxTensor* pointwise =
                depthwise != nullptr
                    ? Constant(graph, conv + 1, 1, {run.outChannels, run.inChannels, 1, 1}, error)
                    : nullptr;
            const OnnxTensor* bias = pointwise != nullptr
                                         ? Constant(graph, conv + 1, 2, {run.outChannels}, error)
                                         : nullptr;
            if (bias == nullptr) {
                return false;
            }
            FaceBlock block;
            block.inSide = inSide;
            block.stride = run.stride;
            block.inChannels = Stored(run.inChannels);
            block.outChannels = Stored(run.outChannels);
            block.skip = run.skip;
            block.depthwise.assign(static_cast<std::size_t>(9 * block.inChannels), 0.0f);
            for (std::int32_t c = 0; c < run.inChannels; ++c) {
                for (std::int32_t tap = 0; tap < 9; ++tap) {
                    block.depthwise[static_cast<std::size_t>(tap * block.inChannels + c)] =
                        FloatAt(*depthwise, static_cast<std::size_t>(c * 9 + tap));
                }
            }
            block.pointwise.assign(static_cast<std::size_t>(block.inChannels) *
                                       static_cast<std::size_t>(block.outChannels),
                                   0.0f);
            PackPointwise(*pointwise, run.inChannels, run.outChannels, block.outChannels, 0,
                          block.pointwise);
            block.bias.assign(static_cast<std::size_t>(block.outChannels), 0.0f);
            for (std::int32_t o = 0; o < run.outChannels; ++o) {
                block.bias[static_cast<std::size_t>(o)] =
                    FloatAt(*bias, static_cast<std::size_t>(o));
            }
            model.blocks.push_back(std::move(block));
            realOut.push_back(run.outChannels);
            inSide /= run.stride;
        }
    }

    // Each grid reads the last block of its size with two 1x1 convolutions, scores then boxes,
    // packed side by side.
    for (std::int32_t grid = 0; grid < 2; ++grid) {
        std::size_t block = model.blocks.size() - 1;
        while (block > 0 &&
               model.blocks[block].inSide / model.blocks[block].stride != GRID_SIDES[grid]) {
            --block;
        }
        FaceHead& head = model.heads[grid];
        head.block = static_cast<std::int32_t>(block);
        head.side = GRID_SIDES[grid];
        head.anchors = GRID_ANCHORS[grid];
        head.outChannels = Stored(head.anchors * (1 + FACE_BOX_VALUES));
        head.weights.assign(static_cast<std::size_t>(model.blocks[block].outChannels) *
                                static_cast<std::size_t>(head.outChannels),
                            0.0f);
        head.bias.assign(static_cast<std::size_t>(head.outChannels), 0.0f);
        for (std::int32_t part = 0; part < 2; ++part) {
            const std::int32_t out = head.anchors * (part == 0 ? 1 : FACE_BOX_VALUES);
            std::size_t at = convs - 4;
            while (at + 1 < convs && OutChannels(graph, at) != out) {
                ++at;
            }
            const OnnxTensor* weight = Constant(graph, at, 1, {out, realOut[block], 1, 1}, error);
            const OnnxTensor* bias =
                weight != nullptr ? Constant(graph, at, 2, {out}, error) : nullptr;
            if (bias == nullptr) {
                return false;
            }
            PackPointwise(*weight, realOut[block], out, head.outChannels, part * head.anchors,
                          head.weights);
            for (std::int32_t o = 0; o < out; ++o) {
                head.bias[static_cast<std::size_t>(part * head.anchors + o)] =
                    FloatAt(*bias, static_cast<std::size_t>(o));
            }
        }
    }
    return true;
}

}  // namespace

const char* FaceModelFileName(FaceModelKind kind) {
    return LayoutOf(kind).fileName;
}

bool ReadFaceModel(const std::uint8_t* bytes, std::size_t size, FaceModelKind kind,
                   FaceModel& model, std::string& error) {
    model = FaceModel{};
    const ModelLayout& layout = LayoutOf(kind);
    // Only the pinned file is ever parsed, so size and digest come first.
    const std::string expected = std::string("not the expected ") + layout.name + " face model (";
    if (size != layout.size) {
        error = expected + std::to_string(size) + " bytes, expected " +
                std::to_string(layout.size) + ")";
        return false;
    }
    const std::string digest = Sha256Hex(Sha256(bytes, size));
    if (digest != layout.sha256) {
        error = expected + "SHA-256 " + digest + ", expected " + layout.sha256 + ")";
        return false;
    }
    model.kind = kind;
    OnnxGraph graph;
    if (!ParseOnnxGraph(bytes, size, graph, error) || !TakeWeights(graph, layout, model, error)) {
        error = std::string("cannot read the ") + layout.name + " face model: " + error;
        model = FaceModel{};
        return false;
    }
    return true;
}

bool LoadFaceModel(const std::string& fileName, FaceModelKind kind, FaceModel& model,
                   std::string& error) {
    model = FaceModel{};
    FilePtr file = OpenRegularFile(fileName, error);
    if (file == nullptr) {
        return false;
    }
    // One byte more than the limit tells a larger file from one of exactly the limit.
    std::vector<std::uint8_t> bytes(MAX_FACE_MODEL_BYTES + 1);
    const std::size_t size = std::fread(bytes.data(), 1, bytes.size(), file.get());
    if (std::ferror(file.get()) != 0) {
        error = fileName + ": read error";
        return false;
    }
    if (size > MAX_FACE_MODEL_BYTES) {
        error = fileName + ": larger than " + std::to_string(MAX_FACE_MODEL_BYTES) + " bytes";
        return false;
    }
    if (!ReadFaceModel(bytes.data(), size, kind, model, error)) {
        error = fileName + ": " + error;
        return false;
    }
    return true;
}
