#include "onnx_graph.h"

#include "protobuf_wire.h"

namespace {

// Field numbers of onnx.proto.
enum ModelField : std::uint32_t { MODEL_GRAPH = 7, MODEL_TRAINING = 20, MODEL_FUNCTIONS = 25 };
enum GraphField : std::uint32_t {
    GRAPH_NODE = 1,
    GRAPH_INITIALIZER = 5,
    GRAPH_INPUT = 11,
    GRAPH_OUTPUT = 12,
    GRAPH_SPARSE_INITIALIZER = 15
};
enum NodeField : std::uint32_t {
    NODE_INPUT = 1,
    NODE_OUTPUT = 2,
    NODE_OP_TYPE = 4,
    NODE_ATTRIBUTE = 5,
    NODE_DOMAIN = 7
};
enum AttributeField : std::uint32_t {
    ATTRIBUTE_NAME = 1,
    ATTRIBUTE_I = 3,
    ATTRIBUTE_INTS = 8,
    ATTRIBUTE_TYPE = 20
};
enum AttributeType : std::uint64_t { ATTRIBUTE_TYPE_INT = 2, ATTRIBUTE_TYPE_INTS = 7 };
enum TensorField : std::uint32_t {
    TENSOR_DIMS = 1,
    TENSOR_DATA_TYPE = 2,
    TENSOR_SEGMENT = 3,
    TENSOR_FLOAT_DATA = 4,
    TENSOR_INT32_DATA = 5,
    TENSOR_STRING_DATA = 6,
    TENSOR_INT64_DATA = 7,
    TENSOR_NAME = 8,
    TENSOR_RAW_DATA = 9,
    TENSOR_DOUBLE_DATA = 10,
    TENSOR_UINT64_DATA = 11,
    TENSOR_EXTERNAL_DATA = 13,
    TENSOR_DATA_LOCATION = 14
};
enum ValueField : std::uint32_t { VALUE_NAME = 1, VALUE_TYPE = 2 };

// Walks the fields of one message, calling visit(field) for each; stops at the first failure.
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

// "more than LIMIT WHAT", appended piece by piece: a C string plus a temporary string trips GCC
// 12's -Wrestrict false positive at -O3 on 32-bit Windows.
std::string MoreThan(std::size_t limit, const char* what) {
    std::string text = "more than ";
    text += std::to_string(limit);
    text += ' ';
    text += what;
    return text;
}

bool ReadName(const WireField& field, std::string& name, const char* what, std::string& error) {
    if (field.type != WireType::Bytes || field.size > MAX_ONNX_NAME) {
        error = std::string(what) + " is not a name of at most " + std::to_string(MAX_ONNX_NAME) +
                " bytes";
        return false;
    }
    name = WireString(field);
    return true;
}

bool AddName(const WireField& field, std::vector<std::string>& names, const char* what,
             std::string& error) {
    if (names.size() >= MAX_ONNX_LIST) {
        error = std::string("more than ") + std::to_string(MAX_ONNX_LIST) + " " + what;
        return false;
    }
    names.emplace_back();
    return ReadName(field, names.back(), what, error);
}

bool NeedMessage(const WireField& field, const char* what, std::string& error) {
    if (field.type != WireType::Bytes) {
        error = std::string(what) + " is not a message";
        return false;
    }
    return true;
}

bool ParseAttribute(const WireField& message, OnnxAttribute& attribute, std::string& error) {
    std::uint64_t type = 0;
    const bool ok = ForEachField(message.bytes, message.size, error, [&](const WireField& field) {
        switch (field.number) {
            case ATTRIBUTE_NAME:
                return ReadName(field, attribute.name, "attribute name", error);
            case ATTRIBUTE_I:
            case ATTRIBUTE_INTS:
                return AppendWireVarints(field, attribute.ints, MAX_ONNX_LIST, error);
            case ATTRIBUTE_TYPE:
                type = field.value;
                return true;
            default:
                return true;
        }
    });
    attribute.integer = type == ATTRIBUTE_TYPE_INT || type == ATTRIBUTE_TYPE_INTS;
    return ok;
}

bool ParseNode(const WireField& message, OnnxNode& node, std::string& error) {
    return ForEachField(message.bytes, message.size, error, [&](const WireField& field) {
        switch (field.number) {
            case NODE_INPUT:
                return AddName(field, node.inputs, "node inputs", error);
            case NODE_OUTPUT:
                return AddName(field, node.outputs, "node outputs", error);
            case NODE_OP_TYPE:
                return ReadName(field, node.opType, "operator", error);
            case NODE_DOMAIN:
                return ReadName(field, node.domain, "domain", error);
            case NODE_ATTRIBUTE:
                if (!NeedMessage(field, "attribute", error)) {
                    return false;
                }
                if (node.attributes.size() >= MAX_ONNX_LIST) {
                    error = MoreThan(MAX_ONNX_LIST, "node attributes");
                    return false;
                }
                node.attributes.emplace_back();
                return ParseAttribute(field, node.attributes.back(), error);
            default:
                return true;
        }
    });
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
                return ReadName(field, tensor.name, "initializer name", error);
            case TENSOR_RAW_DATA:
                if (field.type != WireType::Bytes) {
                    error = "initializer data is not a byte string";
                    return false;
                }
                tensor.raw = field.bytes;
                tensor.rawSize = field.size;
                return true;
            case TENSOR_INT64_DATA:
                return AppendWireVarints(field, tensor.int64s, MAX_ONNX_LIST, error);
            case TENSOR_SEGMENT:
            case TENSOR_FLOAT_DATA:
            case TENSOR_INT32_DATA:
            case TENSOR_STRING_DATA:
            case TENSOR_DOUBLE_DATA:
            case TENSOR_UINT64_DATA:
            case TENSOR_EXTERNAL_DATA:
            case TENSOR_DATA_LOCATION:
                tensor.otherData = true;
                return true;
            default:
                return true;
        }
    });
}

// ValueInfoProto: name, then TypeProto.tensor_type (1) with elem_type (1) and shape (2), whose
// dims (1) hold dim_value (1) or dim_param (2).
bool ParseValue(const WireField& message, OnnxValue& value, std::string& error) {
    const auto dimension = [&](const WireField& dim) {
        if (!NeedMessage(dim, "dimension", error)) {
            return false;
        }
        if (value.dims.size() >= MAX_ONNX_LIST) {
            error = MoreThan(MAX_ONNX_LIST, "dimensions");
            return false;
        }
        value.dims.push_back(-1);
        return ForEachField(dim.bytes, dim.size, error, [&](const WireField& field) {
            if (field.number == 1 && field.type == WireType::Varint) {
                value.dims.back() = static_cast<std::int64_t>(field.value);
            }
            return true;
        });
    };
    const auto tensorType = [&](const WireField& tensor) {
        if (!NeedMessage(tensor, "tensor type", error)) {
            return false;
        }
        return ForEachField(tensor.bytes, tensor.size, error, [&](const WireField& field) {
            if (field.number == 1) {
                value.elementType = static_cast<std::int32_t>(field.value);
                return true;
            }
            if (field.number == 2) {
                return NeedMessage(field, "shape", error) &&
                       ForEachField(field.bytes, field.size, error, [&](const WireField& dim) {
                           return dim.number != 1 || dimension(dim);
                       });
            }
            return true;
        });
    };
    return ForEachField(message.bytes, message.size, error, [&](const WireField& field) {
        if (field.number == VALUE_NAME) {
            return ReadName(field, value.name, "value name", error);
        }
        if (field.number == VALUE_TYPE) {
            return NeedMessage(field, "value type", error) &&
                   ForEachField(field.bytes, field.size, error, [&](const WireField& type) {
                       return type.number != 1 || tensorType(type);
                   });
        }
        return true;
    });
}

bool ParseGraph(const WireField& message, OnnxGraph& graph, std::string& error) {
    return ForEachField(message.bytes, message.size, error, [&](const WireField& field) {
        if (field.number == GRAPH_SPARSE_INITIALIZER) {
            graph.otherContent = true;
            return true;
        }
        if (field.number != GRAPH_NODE && field.number != GRAPH_INITIALIZER &&
            field.number != GRAPH_INPUT && field.number != GRAPH_OUTPUT) {
            return true;
        }
        if (!NeedMessage(field, "graph entry", error)) {
            return false;
        }
        switch (field.number) {
            case GRAPH_NODE:
                if (graph.nodes.size() >= MAX_ONNX_NODES) {
                    error = MoreThan(MAX_ONNX_NODES, "nodes");
                    return false;
                }
                graph.nodes.emplace_back();
                return ParseNode(field, graph.nodes.back(), error);
            case GRAPH_INITIALIZER:
                if (graph.initializers.size() >= MAX_ONNX_INITIALIZERS) {
                    error = MoreThan(MAX_ONNX_INITIALIZERS, "initializers");
                    return false;
                }
                graph.initializers.emplace_back();
                return ParseTensor(field, graph.initializers.back(), error);
            case GRAPH_INPUT:
                if (graph.inputs.size() >= MAX_ONNX_LIST) {
                    error = MoreThan(MAX_ONNX_LIST, "graph inputs");
                    return false;
                }
                graph.inputs.emplace_back();
                return ParseValue(field, graph.inputs.back(), error);
            default:
                if (graph.outputs.size() >= MAX_ONNX_LIST) {
                    error = MoreThan(MAX_ONNX_LIST, "graph outputs");
                    return false;
                }
                graph.outputs.emplace_back();
                return ParseValue(field, graph.outputs.back(), error);
        }
    });
}

}  // namespace

bool ParseOnnxGraph(const std::uint8_t* bytes, std::size_t size, OnnxGraph& graph,
                    std::string& error) {
    graph = OnnxGraph{};
    int graphs = 0;
    const bool ok = ForEachField(bytes, size, error, [&](const WireField& field) {
        if (field.number == MODEL_TRAINING || field.number == MODEL_FUNCTIONS) {
            graph.otherContent = true;
            return true;
        }
        if (field.number != MODEL_GRAPH) {
            return true;
        }
        if (++graphs > 1) {
            error = "more than one graph";
            return false;
        }
        return NeedMessage(field, "graph", error) && ParseGraph(field, graph, error);
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
