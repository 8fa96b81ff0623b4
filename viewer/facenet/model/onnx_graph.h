// The parts of an ONNX model file (protobuf wire format) that say what its graph computes: nodes,
// their integer attributes, initializers and the graph's inputs and outputs. Anything a model of
// ours never has (external data, sparse or typed-list attributes, sub-graphs) is kept only as a
// mark, so a check can refuse it. Limits keep a hostile file from asking for much memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr std::size_t MAX_ONNX_NODES = 1000;
inline constexpr std::size_t MAX_ONNX_INITIALIZERS = 1000;
inline constexpr std::size_t MAX_ONNX_NAME = 256;
inline constexpr std::size_t MAX_ONNX_LIST = 16;  // dims, node inputs and outputs, attribute values

inline constexpr std::int32_t ONNX_FLOAT = 1;
inline constexpr std::int32_t ONNX_INT64 = 7;

struct OnnxAttribute {
    std::string name;
    std::vector<std::int64_t> ints;  // an INT attribute holds one value
    bool integer = false;            // INT or INTS; anything else is only named
};

struct OnnxNode {
    std::string opType;
    std::string domain;
    std::vector<std::string> inputs;
    std::vector<std::string> outputs;
    std::vector<OnnxAttribute> attributes;
};

// A constant. Its bytes (raw_data) stay in the file's buffer; int64_data is copied.
struct OnnxTensor {
    std::string name;
    std::vector<std::int64_t> dims;
    std::int32_t dataType = 0;
    const std::uint8_t* raw = nullptr;
    std::size_t rawSize = 0;
    std::vector<std::int64_t> int64s;
    bool otherData = false;  // values in a field other than raw_data or int64_data
};

// A graph input or output: its element type and dims, -1 for a symbolic dimension.
struct OnnxValue {
    std::string name;
    std::int32_t elementType = 0;
    std::vector<std::int64_t> dims;
};

struct OnnxGraph {
    std::vector<OnnxNode> nodes;
    std::vector<OnnxTensor> initializers;
    std::vector<OnnxValue> inputs;
    std::vector<OnnxValue> outputs;
    bool otherContent = false;  // sparse initializers, functions or training information
};

// Reads the model in bytes[0, size) into graph, whose tensors then point into bytes. On a
// malformed file returns false with a one-line reason.
bool ParseOnnxGraph(const std::uint8_t* bytes, std::size_t size, OnnxGraph& graph,
                    std::string& error);
