// The face finder's two neural networks, read from the two pinned ONNX files: a 5x5 stride-2
// convolution, then blocks of a 3x3 depthwise and a 1x1 convolution added to the block's input, and
// two anchor grids (16 x 16 and 8 x 8) read by 1x1 convolutions. Weights are kept in the layout the
// kernels read (see face_net.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Front: 128 x 128 input, fast ("cnn-fast"). Back: 256 x 256 input, finds smaller faces ("cnn").
enum class FaceModelKind { Front, Back };

// Channels are stored in multiples of this, the zero channels after the real ones.
inline constexpr std::int32_t FACE_CHANNEL_STEP = 8;
inline constexpr std::int32_t FACE_STEM_CHANNELS = 24;
inline constexpr std::int32_t FACE_STEM_TAPS = 5 * 5 * 3;  // one stem output reads 5 x 5 RGB pixels
inline constexpr std::int32_t FACE_BOX_VALUES = 16;        // box centre and size, six key points
inline constexpr std::size_t MAX_FACE_MODEL_BYTES = 4 * 1024 * 1024;

// One residual block: a 3x3 depthwise convolution (stride 1 or 2), a 1x1 convolution with bias,
// the block's input added (max-pooled 2x2 when the stride is 2, zero channels appended when the
// output has more), then ReLU.
struct FaceBlock {
    std::int32_t inSide = 0;  // input height and width
    std::int32_t stride = 1;
    std::int32_t inChannels = 0;  // stored channels
    std::int32_t outChannels = 0;
    bool skip = true;              // false: no input is added (the back model's last block)
    std::vector<float> depthwise;  // [3][3][inChannels]
    std::vector<float> pointwise;  // [inChannels][outChannels]
    std::vector<float> bias;       // [outChannels]
};

// One anchor grid: a 1x1 convolution of a block's output whose channels are the anchors' scores,
// then each anchor's FACE_BOX_VALUES box values.
struct FaceHead {
    std::int32_t block = 0;  // whose output it reads
    std::int32_t side = 0;   // cells per row and column
    std::int32_t anchors = 0;
    std::int32_t outChannels = 0;  // stored
    std::vector<float> weights;    // [block's outChannels][outChannels]
    std::vector<float> bias;       // [outChannels]
};

struct FaceModel {
    FaceModelKind kind = FaceModelKind::Front;
    std::int32_t inputSide = 0;
    std::vector<float> stemWeights;  // [5][5][3][FACE_STEM_CHANNELS], input taps row by row
    std::vector<float> stemBias;     // [FACE_STEM_CHANNELS]
    std::vector<FaceBlock> blocks;
    FaceHead heads[2];  // the 16 x 16 grid, then the 8 x 8 grid
};

// The file name of the model as its package ships it.
const char* FaceModelFileName(FaceModelKind kind);

// Reads a model file (a regular file of at most MAX_FACE_MODEL_BYTES). Before anything parses it,
// it must be the pinned file of its kind, byte for byte (size and SHA-256). On any difference
// returns false with a one-line reason naming the file, and leaves model empty.
bool LoadFaceModel(const std::string& fileName, FaceModelKind kind, FaceModel& model,
                   std::string& error);

// The same for a file's bytes already in memory (the reason then names no file).
bool ReadFaceModel(const std::uint8_t* bytes, std::size_t size, FaceModelKind kind,
                   FaceModel& model, std::string& error);
