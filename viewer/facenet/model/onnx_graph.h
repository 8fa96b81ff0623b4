// The parts of an ONNX model file (protobuf wire format) that hold a convolutional network's
// weights: the inputs of its Conv nodes, in graph order, and its initializers; everything else is
// skipped. Whatever the bytes hold, the reader stays within them, and limits keep it from asking
// for much memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr std::size_t MAX_ONNX_NODES = 1000;
inline constexpr std::size_t MAX_ONNX_INITIALIZERS = 1000;
inline constexpr std::size_t MAX_ONNX_NAME = 256;
inline constexpr std::size_t MAX_ONNX_LIST = 16;  // dims, node inputs

inline constexpr std::int32_t ONNX_FLOAT = 1;

// A constant. Its bytes (raw_data) stay in the file's buffer.
struct OnnxTensor {
    std::string name;
    std::vector<std::int64_t> dims;
    std::int32_t dataType = 0;
    const std::uint8_t* raw = nullptr;
    std::size_t rawSize = 0;
};

struct OnnxGraph {
    std::vector<std::vector<std::string>> convInputs;  // data, weight, bias (if any) by name
    std::vector<OnnxTensor> initializers;
};

// Reads the model in bytes[0, size) into graph, whose tensors then point into bytes. On a
// malformed file returns false with a one-line reason.
bool ParseOnnxGraph(const std::uint8_t* bytes, std::size_t size, OnnxGraph& graph,
                    std::string& error);

// The initializer called name, or null.
const OnnxTensor* FindInitializer(const OnnxGraph& graph, const std::string& name);
