// The ONNX reader only ever runs on the pinned model files, but it takes any bytes: malformed ones
// are refused with a one-line reason.
#include "onnx_graph.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void PutVarint(Bytes& out, std::uint64_t value) {
    do {
        out.push_back(static_cast<std::uint8_t>((value & 0x7F) | (value > 0x7F ? 0x80 : 0)));
        value >>= 7;
    } while (value != 0);
}

// A length-delimited field: a message, a string or a packed list.
Bytes Field(std::uint32_t number, const Bytes& body) {
    Bytes out;
    PutVarint(out, std::uint64_t{number} << 3 | 2);
    PutVarint(out, body.size());
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// A model whose graph holds one initializer with these fields.
Bytes ModelWithInitializer(const Bytes& tensor) {
    return Field(7, Field(5, tensor));
}

bool OneLine(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= ' ' && c < 127; });
}

TEST(OnnxGraphTest, MalformedBytesAreRefusedWithAReason) {
    const Bytes tooManyDims(MAX_ONNX_LIST + 1, 1);
    struct Case {
        const char* what;
        Bytes bytes;
        const char* reason;
    };
    const Case cases[] = {
        {"empty", {}, "ONNX: no graph"},
        {"a key cut short", {0x80}, "truncated field key"},
        {"field number zero", {0x02, 0x00}, "invalid field number 0"},
        {"a group", {0x3B}, "unsupported wire type 3"},
        {"a length past the end", {0x3A, 0x05, 0x00}, "field 7 runs past the end"},
        {"a varint of eleven bytes",
         {0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01},
         "field 1 runs past"},
        {"a fixed value cut short", {0x0D, 0x00, 0x00}, "field 1 runs past"},
        {"a graph that is a number", {0x38, 0x01}, "not a message"},
        {"two graphs", {0x3A, 0x00, 0x3A, 0x00}, "more than one graph"},
        {"a node cut short inside its graph", Field(7, {0x0A, 0x05}), "field 1 runs past"},
        {"a name too long", ModelWithInitializer(Field(8, Bytes(MAX_ONNX_NAME + 1, 'a'))),
         "of at most 256 bytes"},
        {"a broken packed list", ModelWithInitializer(Field(1, {0x80})),
         "malformed integer list in field 1"},
        {"too many dims", ModelWithInitializer(Field(1, tooManyDims)),
         "more than 16 values in field 1"},
    };
    for (const Case& c : cases) {
        OnnxGraph graph;
        std::string error;
        EXPECT_FALSE(ParseOnnxGraph(c.bytes.data(), c.bytes.size(), graph, error)) << c.what;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
        EXPECT_TRUE(OneLine(error)) << c.what << ": " << error;
        EXPECT_TRUE(graph.initializers.empty()) << c.what;
    }
}

}  // namespace
