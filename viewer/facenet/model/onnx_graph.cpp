#include "onnx_graph.h"

#include "protobuf_wire.h"

namespace {

// Field numbers of onnx.proto.
constexpr std::uint32_t MODEL_GRAPH = 7;
constexpr std::uint32_t GRAPH_NODE = 1;
constexpr std::uint32_t GRAPH_INITIALIZER = 5;
constexpr std::uint32_t NODE_INPUT = 1;
constexpr std::uint32_t NODE_OP_TYPE = 4;
constexpr std::uint32_t TENSOR_DIMS = 1;
constexpr std::uint32_t TENSOR_DATA_TYPE = 2;
constexpr std::uint32_t TENSOR_NAME = 8;
constexpr std::uint32_t TENSOR_RAW_DATA = 9;

// Calls visit(field) for each field of a Bytes field's message; stops at the first failure.
template <typename Visit>
bool ForEachField(const std::uint8_t* bytes, std::size_t size, std::string& error, Visit&& visit) {
    WireCursor cursor = WireCursorOf(bytes, size);
    WireField field;
    while (NextWireField(cursor, field, error)) {
        if (!visit(field)) {
            return false;
        }
    }
    return error.empty();
}

// "more than LIMIT WHAT", appended piece by piece: GCC 12 at -O3 takes the chained operator+ for
// an overlapping copy (-Wrestrict).
std::string MoreThan(std::size_t limit, const char* what) {
    std::string text = "more than ";
    text += std::to_string(limit);
    text += ' ';
    text += what;
    return text;
}

bool ReadName(const WireField& field, std::string& name, std::string& error) {
    if (field.type != WireType::Bytes || field.size > MAX_ONNX_NAME) {
        error = "a name is not a string of at most ";
        error += std::to_string(MAX_ONNX_NAME);
        error += " bytes";
        return false;
    }
    name = WireString(field);
    return true;
}

bool ParseNode(const WireField& message, OnnxGraph& graph, std::string& error) {
    std::vector<std::string> inputs;
    std::string op;
    const bool ok = ForEachField(message.bytes, message.size, error, [&](const WireField& field) {
        if (field.number == NODE_INPUT) {
            if (inputs.size() >= MAX_ONNX_LIST) {
                error = MoreThan(MAX_ONNX_LIST, "node inputs");
                return false;
            }
            inputs.emplace_back();
            return ReadName(field, inputs.back(), error);
        }
        return field.number != NODE_OP_TYPE || ReadName(field, op, error);
    });
    if (ok && op == "Conv") {
        graph.convInputs.push_back(std::move(inputs));
    }
    return ok;
}

bool ParseTensor(const WireField& message, OnnxTensor& tensor, std::string& error) {
    return ForEachField(message.bytes, message.size, error, [&](const WireField& field) {
        switch (field.number) {
            case TENSOR_DIMS:
                return AppendWireVarints(field, tensor.dims, MAX_ONNX_LIST, error);
            case TENSOR_DATA_TYPE:
                tensor.dataType = static_cast<std::int32_t>(field.value);
                return true;
            case TENSOR_NAME:
                return ReadName(field, tensor.name, error);
            case TENSOR_RAW_DATA:
                tensor.raw = field.bytes;
                tensor.rawSize = field.size;
                return true;
            default:
                return true;
        }
    });
}

bool ParseGraph(const WireField& message, OnnxGraph& graph, std::string& error) {
    std::size_t nodes = 0;
    return ForEachField(message.bytes, message.size, error, [&](const WireField& field) {
        if (field.number != GRAPH_NODE && field.number != GRAPH_INITIALIZER) {
            return true;
        }
        if (field.type != WireType::Bytes) {
            error = "a graph entry is not a message";
            return false;
        }
        if (field.number == GRAPH_NODE) {
            if (++nodes > MAX_ONNX_NODES) {
                error = MoreThan(MAX_ONNX_NODES, "nodes");
                return false;
            }
            return ParseNode(field, graph, error);
        }
        if (graph.initializers.size() >= MAX_ONNX_INITIALIZERS) {
            error = MoreThan(MAX_ONNX_INITIALIZERS, "initializers");
            return false;
        }
        graph.initializers.emplace_back();
        return ParseTensor(field, graph.initializers.back(), error);
    });
}

}  // namespace

bool ParseOnnxGraph(const std::uint8_t* bytes, std::size_t size, OnnxGraph& graph,
                    std::string& error) {
    graph = OnnxGraph{};
    int graphs = 0;
    const bool ok = ForEachField(bytes, size, error, [&](const WireField& field) {
        if (field.number != MODEL_GRAPH) {
            return true;
        }
        if (++graphs > 1 || field.type != WireType::Bytes) {
            error = "more than one graph, or a graph that is not a message";
            return false;
        }
        return ParseGraph(field, graph, error);
    });
    if (ok && graphs == 0) {
        error = "no graph";
    }
    if (!error.empty()) {
        error = "ONNX: " + error;
        graph = OnnxGraph{};
        return false;
    }
    return true;
}

const OnnxTensor* FindInitializer(const OnnxGraph& graph, const std::string& name) {
    for (const OnnxTensor& tensor : graph.initializers) {
        if (tensor.name == name) {
            return &tensor;
        }
    }
    return nullptr;
}
