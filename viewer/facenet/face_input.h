// The face model's input: the frame letterboxed into the model's square (aspect kept, centred,
// black bars), each input pixel the area average of the frame pixels it covers, RGB scaled from
// 0..255 to -1..1.
#pragma once

#include <cstdint>
#include <vector>

#include "face_kernels.h"
#include "face_net.h"
#include "frame_image.h"
#include "geometry.h"

// Where the frame lies in the square input, in input pixels: the frame's longer side fills the
// input; the other is scaled alike and rounded (at least 1).
PixelRect FitLetterbox(std::int32_t frameWidth, std::int32_t frameHeight, std::int32_t side);

// The share of source pixel `source` in one output pixel.
struct AreaTap {
    std::int32_t source = 0;
    float weight = 0;
};

// For each of `outputs` pixels spread evenly over `sources` pixels, its taps: output i's are
// taps[starts[i]] .. taps[starts[i + 1] - 1], their weights summing to 1.
struct AreaTaps {
    std::vector<AreaTap> taps;
    std::vector<std::int32_t> starts;
};
void MakeAreaTaps(std::int32_t sources, std::int32_t outputs, AreaTaps& taps);

// The area taps of the input rows, kept for the next frame of the same size.
struct FaceInputState {
    std::int32_t frameWidth = 0;
    std::int32_t frameHeight = 0;
    std::int32_t side = 0;
    PixelRect box;  // where the frame lies in the input
    AreaTaps rows;
    // The columns' taps as the resample kernel reads them, for the even input columns and then
    // the odd ones: `taps` per column, each an index into sums and a weight (0 past a column's
    // own taps, and in the bars).
    std::int32_t taps = 0;
    std::vector<std::int32_t> indices;
    std::vector<float> weights;
    std::vector<float> sums;  // one output row's vertical averages, frame width x 3 (B, G, R)
};

// Sets state up for frame in the model's input (nothing happens when it is set up for a frame of
// this size already), and returns where the frame lies.
PixelRect PrepareFaceInput(const FrameImage& frame, const FaceModel& model, FaceInputState& state);

// Writes input row y of the letterboxed frame (whose pixels must cover width x height, and for
// which state is prepared) with FaceInputRow.
void FillFaceInputRow(const FrameImage& frame, const FaceModel& model, FaceNetState& net,
                      FaceInputState& state, const FaceKernels& kernels, std::int32_t y);
