#include "face_model.h"

#include <algorithm>
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

struct ModelLayout {
    const char* fileName;
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
        "face_detection_front_128x128_barracuda.onnx",
        "d388b1cf8a5f6f1af2b3f4c14f6d0f138bab970cd618cccd12dddb7484e82e51", 128, FRONT_RUNS};
    static const ModelLayout BACK{
        "face_detection_back_256x256_barracuda.onnx",
        "427cbbe0fc41448d09e1dc9cfabe2423d997cf2faaeab91fadd09a510b63b8e2", 256, BACK_RUNS};
    return kind == FaceModelKind::Front ? FRONT : BACK;
}

// The two grids: cells per side and anchors per cell. Head h's outputs are graph outputs h
// (scores) and h + 2 (boxes).
constexpr std::int32_t GRID_SIDES[2] = {16, 8};
constexpr std::int32_t GRID_ANCHORS[2] = {2, 6};

std::int32_t Stored(std::int32_t channels) {
    return (channels + FACE_CHANNEL_STEP - 1) / FACE_CHANNEL_STEP * FACE_CHANNEL_STEP;
}

// The real output channels of block `index` of the layout's runs.
std::int32_t RealOutChannels(const ModelLayout& layout, std::size_t index) {
    for (const BlockRun& run : layout.runs) {
        if (index < static_cast<std::size_t>(run.repeat)) {
            return run.outChannels;
        }
        index -= static_cast<std::size_t>(run.repeat);
    }
    return 0;
}

std::string Dims(const std::vector<std::int64_t>& dims) {
    std::string text;
    for (const std::int64_t dim : dims) {
        // Appended piece by piece: a C string plus a temporary string trips GCC 12's -Wrestrict
        // false positive at -O3.
        if (!text.empty()) {
            text += 'x';
        }
        text += std::to_string(dim);
    }
    return "[" + text + "]";
}

// Walks the graph from its input along the expected operators, marking each node it takes, so
// that at the end no node may be left over. The first difference stops the walk.
class GraphWalk {
  public:
    explicit GraphWalk(const OnnxGraph& graph)
        : graph_(graph), nodeTaken_(graph.nodes.size(), false) {}

    bool Failed() const { return !error_.empty(); }
    const std::string& Error() const { return error_; }

    bool Fail(const std::string& reason) {
        if (error_.empty()) {
            error_ = reason;
        }
        return false;
    }

    // The one untaken node of operator op that reads tensor and satisfies want; taken.
    template <typename Want>
    const OnnxNode* Reader(const std::string& tensor, const char* op, const char* role,
                           Want&& want) {
        const OnnxNode* found = nullptr;
        std::size_t foundIndex = 0;
        for (std::size_t i = 0; i < graph_.nodes.size() && !Failed(); ++i) {
            const OnnxNode& node = graph_.nodes[i];
            if (nodeTaken_[i] || node.opType != op ||
                std::find(node.inputs.begin(), node.inputs.end(), tensor) == node.inputs.end() ||
                !want(node)) {
                continue;
            }
            if (found != nullptr) {
                Fail("two " + std::string(op) + " nodes read " + tensor);
                return nullptr;
            }
            found = &node;
            foundIndex = i;
        }
        if (Failed()) {
            return nullptr;
        }
        if (found == nullptr) {
            Fail("no " + std::string(role) + " reads " + tensor);
            return nullptr;
        }
        nodeTaken_[foundIndex] = true;
        return CheckNode(*found) ? found : nullptr;
    }
    const OnnxNode* Reader(const std::string& tensor, const char* op, const char* role) {
        return Reader(tensor, op, role, [](const OnnxNode&) { return true; });
    }

    // The untaken node that writes tensor; taken.
    const OnnxNode* Writer(const std::string& tensor, const char* op) {
        for (std::size_t i = 0; i < graph_.nodes.size(); ++i) {
            const OnnxNode& node = graph_.nodes[i];
            if (!nodeTaken_[i] && node.outputs.size() == 1 && node.outputs[0] == tensor) {
                if (node.opType != op) {
                    Fail(tensor + " comes from " + node.opType + ", expected " + op);
                    return nullptr;
                }
                nodeTaken_[i] = true;
                return CheckNode(node) ? &node : nullptr;
            }
        }
        Fail("nothing computes " + tensor);
        return nullptr;
    }

    // The initializer called name, of the given type and dims, with all its values.
    const OnnxTensor* Constant(const std::string& name, std::int32_t dataType,
                               const std::vector<std::int64_t>& dims) {
        for (std::size_t i = 0; i < graph_.initializers.size(); ++i) {
            const OnnxTensor& tensor = graph_.initializers[i];
            if (tensor.name != name) {
                continue;  // a constant may serve several nodes (the zero paddings share shapes)
            }
            if (tensor.dataType != dataType || tensor.dims != dims) {
                Fail("constant " + name + " is " + Dims(tensor.dims) + " of type " +
                     std::to_string(tensor.dataType) + ", expected " + Dims(dims) + " of type " +
                     std::to_string(dataType));
                return nullptr;
            }
            std::size_t count = 1;
            for (const std::int64_t dim : dims) {
                count *= static_cast<std::size_t>(dim);
            }
            const std::size_t width = dataType == ONNX_FLOAT ? 4 : 8;
            const bool complete =
                !tensor.otherData && (tensor.rawSize == count * width ||
                                      (dataType == ONNX_INT64 && tensor.raw == nullptr &&
                                       tensor.int64s.size() == count));
            if (!complete) {
                Fail("constant " + name + " does not hold its " + std::to_string(count) +
                     " values");
                return nullptr;
            }
            return &tensor;
        }
        Fail("no constant " + name);
        return nullptr;
    }

    // The initializer called name, without taking it.
    const OnnxTensor* Peek(const std::string& name) const {
        for (const OnnxTensor& tensor : graph_.initializers) {
            if (tensor.name == name) {
                return &tensor;
            }
        }
        return nullptr;
    }

    // The values of an int64 constant (held either way).
    std::vector<std::int64_t> Int64s(const OnnxTensor& tensor) {
        if (tensor.raw == nullptr) {
            return tensor.int64s;
        }
        std::vector<std::int64_t> values(tensor.rawSize / 8);
        std::memcpy(values.data(), tensor.raw, tensor.rawSize);
        return values;
    }

    // An attribute's integers, or fallback when the node does not have it.
    std::vector<std::int64_t> Ints(const OnnxNode& node, const char* name,
                                   std::vector<std::int64_t> fallback) {
        for (const OnnxAttribute& attribute : node.attributes) {
            if (attribute.name == name) {
                return attribute.ints;
            }
        }
        return fallback;
    }

    bool Expect(const OnnxNode& node, const char* name, const std::vector<std::int64_t>& value,
                const std::vector<std::int64_t>& fallback) {
        const std::vector<std::int64_t> actual = Ints(node, name, fallback);
        if (actual != value) {
            return Fail(node.opType + " writing " + node.outputs[0] + " has " + name + " " +
                        Dims(actual) + ", expected " + Dims(value));
        }
        return true;
    }

    // Every node must have been taken. A constant no node reads computes nothing (the converter
    // left a few behind), so it may stay.
    bool AllTaken() {
        for (std::size_t i = 0; i < graph_.nodes.size(); ++i) {
            if (!nodeTaken_[i]) {
                return Fail("unexpected " + graph_.nodes[i].opType + " node");
            }
        }
        return true;
    }

  private:
    // Operators of the standard domain with their number of inputs, one output, and only
    // attributes this code reads.
    bool CheckNode(const OnnxNode& node) {
        struct Operator {
            const char* name;
            std::size_t fewestInputs, mostInputs;
        };
        static const Operator OPERATORS[] = {{"Conv", 2, 3},      {"Relu", 1, 1},
                                             {"Add", 2, 2},       {"MaxPool", 1, 1},
                                             {"Concat", 2, 2},    {"ConstantOfShape", 1, 1},
                                             {"Transpose", 1, 1}, {"Reshape", 2, 2}};
        static const char* const KNOWN[] = {"dilations", "strides", "kernel_shape", "pads",
                                            "group",     "perm",    "axis"};
        if (!node.domain.empty() && node.domain != "ai.onnx") {
            return Fail(node.opType + " node of domain " + node.domain);
        }
        const auto op = std::find_if(std::begin(OPERATORS), std::end(OPERATORS),
                                     [&](const Operator& o) { return node.opType == o.name; });
        if (node.outputs.size() != 1 || op == std::end(OPERATORS) ||
            node.inputs.size() < op->fewestInputs || node.inputs.size() > op->mostInputs) {
            return Fail(node.opType + " node with " + std::to_string(node.inputs.size()) +
                        " inputs and " + std::to_string(node.outputs.size()) + " outputs");
        }
        for (const OnnxAttribute& attribute : node.attributes) {
            if (!attribute.integer ||
                std::find(std::begin(KNOWN), std::end(KNOWN), attribute.name) == std::end(KNOWN)) {
                return Fail(node.opType + " writing " + node.outputs[0] + " has attribute " +
                            attribute.name);
            }
        }
        return true;
    }

    const OnnxGraph& graph_;
    std::vector<bool> nodeTaken_;
    std::string error_;
};

float FloatAt(const OnnxTensor& tensor, std::size_t index) {
    float value = 0;
    std::memcpy(&value, tensor.raw + 4 * index, 4);
    return value;
}

// A convolution reading `from` with a [outChannels][inChannels / group][kernel][kernel] weight
// and, when biased, an [outChannels] bias. Returns the node (taken), weight and bias.
struct Conv {
    const OnnxNode* node = nullptr;
    const OnnxTensor* weight = nullptr;
    const OnnxTensor* bias = nullptr;
};

Conv TakeConv(GraphWalk& walk, const std::string& from, const char* role, std::int64_t inChannels,
              std::int64_t outChannels, std::int64_t kernel, std::int64_t stride,
              const std::vector<std::int64_t>& pads, bool depthwise, bool biased) {
    Conv conv;
    // A tensor may feed several convolutions (a block and a grid's two); the kernel and the
    // weight's output channels tell them apart.
    conv.node = walk.Reader(from, "Conv", role, [&](const OnnxNode& node) {
        const OnnxTensor* weight = node.inputs.size() > 1 ? walk.Peek(node.inputs[1]) : nullptr;
        return walk.Ints(node, "kernel_shape", {}) == std::vector<std::int64_t>{kernel, kernel} &&
               weight != nullptr && !weight->dims.empty() && weight->dims[0] == outChannels;
    });
    if (conv.node == nullptr) {
        return conv;
    }
    const OnnxNode& node = *conv.node;
    const std::size_t inputs = biased ? 3 : 2;
    if (node.inputs.size() != inputs || node.inputs[0] != from) {
        walk.Fail(std::string(role) + " writing " + node.outputs[0] + " has " +
                  std::to_string(node.inputs.size()) + " inputs, expected " +
                  std::to_string(inputs));
        return conv;
    }
    const bool attributesOk = walk.Expect(node, "strides", {stride, stride}, {1, 1}) &&
                              walk.Expect(node, "pads", pads, {0, 0, 0, 0}) &&
                              walk.Expect(node, "dilations", {1, 1}, {1, 1}) &&
                              walk.Expect(node, "group", {depthwise ? inChannels : 1}, {1});
    if (!attributesOk) {
        return conv;
    }
    conv.weight = walk.Constant(node.inputs[1], ONNX_FLOAT,
                                {outChannels, depthwise ? 1 : inChannels, kernel, kernel});
    if (biased && conv.weight != nullptr) {
        conv.bias = walk.Constant(node.inputs[2], ONNX_FLOAT, {outChannels});
    }
    return conv;
}

// The skip path of a block: the input, max-pooled when the block halves the size, with zero
// channels appended when the output has more. Returns the tensor the block adds, or "".
std::string TakeSkip(GraphWalk& walk, const std::string& input, std::int64_t inChannels,
                     std::int64_t outChannels, std::int64_t outSide, std::int64_t stride) {
    std::string skip = input;
    if (stride == 2) {
        const OnnxNode* pool = walk.Reader(input, "MaxPool", "max pool");
        if (pool == nullptr || !walk.Expect(*pool, "kernel_shape", {2, 2}, {}) ||
            !walk.Expect(*pool, "strides", {2, 2}, {1, 1}) ||
            !walk.Expect(*pool, "pads", {0, 0, 0, 0}, {0, 0, 0, 0})) {
            return "";
        }
        skip = pool->outputs[0];
    }
    if (outChannels == inChannels) {
        return skip;
    }
    const OnnxNode* concat = walk.Reader(skip, "Concat", "channel padding");
    if (concat == nullptr || !walk.Expect(*concat, "axis", {1}, {})) {
        return "";
    }
    if (concat->inputs[0] != skip) {
        walk.Fail("channel padding of " + skip + " is not the input then zeros");
        return "";
    }
    const OnnxNode* zeros = walk.Writer(concat->inputs[1], "ConstantOfShape");
    if (zeros == nullptr) {
        return "";
    }
    if (!zeros->attributes.empty()) {
        walk.Fail("ConstantOfShape writing " + zeros->outputs[0] + " is not plain zeros");
        return "";
    }
    const OnnxTensor* shape = walk.Constant(zeros->inputs[0], ONNX_INT64, {4});
    if (shape == nullptr) {
        return "";
    }
    const std::vector<std::int64_t> expected{1, outChannels - inChannels, outSide, outSide};
    if (walk.Int64s(*shape) != expected) {
        walk.Fail("channel padding " + zeros->inputs[0] + " is " + Dims(walk.Int64s(*shape)) +
                  ", expected " + Dims(expected));
        return "";
    }
    return concat->outputs[0];
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

bool CheckValue(GraphWalk& walk, const OnnxValue& value, const std::vector<std::int64_t>& dims,
                const char* what) {
    if (value.elementType != ONNX_FLOAT || value.dims != dims) {
        return walk.Fail(std::string(what) + " " + value.name + " is " + Dims(value.dims) +
                         " of type " + std::to_string(value.elementType) + ", expected " +
                         Dims(dims) + " of type " + std::to_string(ONNX_FLOAT));
    }
    return true;
}

void WalkModel(GraphWalk& walk, const OnnxGraph& graph, const ModelLayout& layout,
               FaceModel& model) {
    const std::int64_t side = layout.inputSide;
    if (graph.otherContent) {
        walk.Fail("the model holds more than a plain graph");
        return;
    }
    if (graph.inputs.size() != 1 || graph.outputs.size() != 4) {
        walk.Fail("the graph has " + std::to_string(graph.inputs.size()) + " inputs and " +
                  std::to_string(graph.outputs.size()) + " outputs, expected 1 and 4");
        return;
    }
    if (!CheckValue(walk, graph.inputs[0], {1, side, side, 3}, "input")) {
        return;
    }
    for (int output = 0; output < 4; ++output) {
        const std::int64_t grid = output % 2;
        const std::int64_t cells = GRID_SIDES[grid] * GRID_SIDES[grid] * GRID_ANCHORS[grid];
        if (!CheckValue(walk, graph.outputs[static_cast<std::size_t>(output)],
                        {1, cells, output < 2 ? 1 : FACE_BOX_VALUES}, "output")) {
            return;
        }
    }

    // The input arrives height, width, channels; the stem reads it in that order.
    const OnnxNode* transpose = walk.Reader(graph.inputs[0].name, "Transpose", "transpose");
    if (transpose == nullptr || !walk.Expect(*transpose, "perm", {0, 3, 1, 2}, {})) {
        return;
    }
    const Conv stem = TakeConv(walk, transpose->outputs[0], "stem convolution", 3,
                               FACE_STEM_CHANNELS, 5, 2, {1, 1, 2, 2}, false, true);
    const OnnxNode* relu = stem.bias ? walk.Reader(stem.node->outputs[0], "Relu", "ReLU") : nullptr;
    if (relu == nullptr) {
        return;
    }
    model.inputSide = layout.inputSide;
    model.stemWeights.assign(FACE_STEM_TAPS * FACE_STEM_CHANNELS, 0.0f);
    model.stemBias.assign(FACE_STEM_CHANNELS, 0.0f);
    for (std::int32_t o = 0; o < FACE_STEM_CHANNELS; ++o) {
        model.stemBias[static_cast<std::size_t>(o)] =
            FloatAt(*stem.bias, static_cast<std::size_t>(o));
        for (std::int32_t c = 0; c < 3; ++c) {
            for (std::int32_t tap = 0; tap < 25; ++tap) {
                const auto from = static_cast<std::size_t>((o * 3 + c) * 25 + tap);
                model
                    .stemWeights[static_cast<std::size_t>((tap * 3 + c) * FACE_STEM_CHANNELS + o)] =
                    FloatAt(*stem.weight, from);
            }
        }
    }

    std::string current = relu->outputs[0];
    std::vector<std::string> blockOutputs;
    std::int32_t inSide = layout.inputSide / 2;
    for (const BlockRun& run : layout.runs) {
        for (std::int32_t r = 0; r < run.repeat; ++r) {
            const std::int32_t outSide = inSide / run.stride;
            const std::vector<std::int64_t> pads = run.stride == 1
                                                       ? std::vector<std::int64_t>{1, 1, 1, 1}
                                                       : std::vector<std::int64_t>{0, 0, 1, 1};
            const Conv depthwise = TakeConv(walk, current, "depthwise convolution", run.inChannels,
                                            run.inChannels, 3, run.stride, pads, true, false);
            const Conv pointwise =
                depthwise.weight
                    ? TakeConv(walk, depthwise.node->outputs[0], "1x1 convolution", run.inChannels,
                               run.outChannels, 1, 1, {0, 0, 0, 0}, false, true)
                    : Conv{};
            if (pointwise.bias == nullptr) {
                return;
            }
            std::string sum = pointwise.node->outputs[0];
            if (run.skip) {
                const std::string skip =
                    TakeSkip(walk, current, run.inChannels, run.outChannels, outSide, run.stride);
                const OnnxNode* add = skip.empty() ? nullptr : walk.Reader(sum, "Add", "sum");
                if (add == nullptr) {
                    return;
                }
                if (!((add->inputs[0] == sum && add->inputs[1] == skip) ||
                      (add->inputs[1] == sum && add->inputs[0] == skip))) {
                    walk.Fail("the sum writing " + add->outputs[0] + " does not add " + skip);
                    return;
                }
                sum = add->outputs[0];
            }
            const OnnxNode* blockRelu = walk.Reader(sum, "Relu", "ReLU");
            if (blockRelu == nullptr) {
                return;
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
                        FloatAt(*depthwise.weight, static_cast<std::size_t>(c * 9 + tap));
                }
            }
            block.pointwise.assign(static_cast<std::size_t>(block.inChannels) *
                                       static_cast<std::size_t>(block.outChannels),
                                   0.0f);
            PackPointwise(*pointwise.weight, run.inChannels, run.outChannels, block.outChannels, 0,
                          block.pointwise);
            block.bias.assign(static_cast<std::size_t>(block.outChannels), 0.0f);
            for (std::int32_t o = 0; o < run.outChannels; ++o) {
                block.bias[static_cast<std::size_t>(o)] =
                    FloatAt(*pointwise.bias, static_cast<std::size_t>(o));
            }
            model.blocks.push_back(std::move(block));
            blockOutputs.push_back(blockRelu->outputs[0]);
            current = blockRelu->outputs[0];
            inSide = outSide;
        }
    }

    // Each grid reads the last block of its size: two 1x1 convolutions (scores, boxes), each
    // transposed to height, width, channels and reshaped into one row per anchor.
    for (std::int32_t grid = 0; grid < 2; ++grid) {
        std::size_t block = model.blocks.size() - 1;
        while (block > 0 &&
               model.blocks[block].inSide / model.blocks[block].stride != GRID_SIDES[grid]) {
            --block;
        }
        const FaceBlock& source = model.blocks[block];
        const std::int32_t realIn = RealOutChannels(layout, block);
        FaceHead& head = model.heads[grid];
        head.block = static_cast<std::int32_t>(block);
        head.side = GRID_SIDES[grid];
        head.anchors = GRID_ANCHORS[grid];
        head.outChannels = Stored(head.anchors * (1 + FACE_BOX_VALUES));
        head.weights.assign(static_cast<std::size_t>(source.outChannels) *
                                static_cast<std::size_t>(head.outChannels),
                            0.0f);
        head.bias.assign(static_cast<std::size_t>(head.outChannels), 0.0f);
        for (std::int32_t part = 0; part < 2; ++part) {
            const std::int32_t values = part == 0 ? 1 : FACE_BOX_VALUES;
            const std::int32_t out = head.anchors * values;
            const Conv conv = TakeConv(walk, blockOutputs[block],
                                       part == 0 ? "score convolution" : "box convolution", realIn,
                                       out, 1, 1, {0, 0, 0, 0}, false, true);
            const OnnxNode* transposed =
                conv.bias ? walk.Reader(conv.node->outputs[0], "Transpose", "transpose") : nullptr;
            if (transposed == nullptr || !walk.Expect(*transposed, "perm", {0, 2, 3, 1}, {})) {
                return;
            }
            const OnnxNode* reshape = walk.Reader(transposed->outputs[0], "Reshape", "reshape");
            if (reshape == nullptr) {
                return;
            }
            const OnnxValue& output = graph.outputs[static_cast<std::size_t>(grid + 2 * part)];
            if (reshape->inputs[0] != transposed->outputs[0] ||
                reshape->outputs[0] != output.name) {
                walk.Fail("the reshape of " + transposed->outputs[0] + " does not write output " +
                          output.name);
                return;
            }
            const OnnxTensor* shape = walk.Constant(reshape->inputs[1], ONNX_INT64, {3});
            if (shape == nullptr) {
                return;
            }
            const std::vector<std::int64_t> expected{1, head.side * head.side * head.anchors,
                                                     values};
            if (walk.Int64s(*shape) != expected) {
                walk.Fail("output " + output.name + " is reshaped to " + Dims(walk.Int64s(*shape)) +
                          ", expected " + Dims(expected));
                return;
            }
            PackPointwise(*conv.weight, realIn, out, head.outChannels, part * head.anchors,
                          head.weights);
            for (std::int32_t o = 0; o < out; ++o) {
                head.bias[static_cast<std::size_t>(part * head.anchors + o)] =
                    FloatAt(*conv.bias, static_cast<std::size_t>(o));
            }
        }
    }
    walk.AllTaken();
}

// Names in a reason come from the file: anything but printable ASCII is shown as '?', so a
// hostile name cannot break the one line or the terminal.
std::string Printable(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c < ' ' || c > '~'; }, '?');
    return text;
}

}  // namespace

const char* FaceModelFileName(FaceModelKind kind) {
    return LayoutOf(kind).fileName;
}

bool ReadFaceModel(const std::uint8_t* bytes, std::size_t size, FaceModelKind kind,
                   FaceModel& model, std::string& error) {
    model = FaceModel{};
    model.kind = kind;
    const ModelLayout& layout = LayoutOf(kind);
    OnnxGraph graph;
    if (!ParseOnnxGraph(bytes, size, graph, error)) {
        model = FaceModel{};
        error = Printable(error);
        return false;
    }
    GraphWalk walk(graph);
    WalkModel(walk, graph, layout, model);
    if (walk.Failed()) {
        error = "not the expected face model: " + Printable(walk.Error());
        model = FaceModel{};
        return false;
    }
    // The graph is the expected one; the digest also pins every weight.
    const std::string digest = Sha256Hex(Sha256(bytes, size));
    if (digest != layout.sha256) {
        error = "not the expected face model: SHA-256 " + digest + ", expected " + layout.sha256;
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
