// The optional face finder: a small neural face detector run on a frame. It letterboxes the frame
// into the model's square input, runs the network (face_net.h) and decodes the two anchor grids:
// each anchor's sigmoid score is kept from FACE_SCORE_THRESHOLD up, and overlapping boxes (IoU
// from FACE_MERGE_IOU up) merge into their score-weighted mean, scored as the best of them.
#pragma once

#include <cstdint>
#include <vector>

#include "face_input.h"
#include "face_kernels.h"
#include "face_model.h"
#include "face_net.h"
#include "frame_image.h"
#include "simd_level.h"

inline constexpr float FACE_SCORE_THRESHOLD = 0.75f;
inline constexpr float FACE_MERGE_IOU = 0.3f;

// One face: its score (0..1) and box in frame pixels, x from the left, y from the top. The box
// may reach past the frame's edges.
struct FaceDetection {
    float score = 0;
    float left = 0;
    float top = 0;
    float width = 0;
    float height = 0;
};

// A box in the model's input pixels, as decoded before merging.
struct FaceCandidate {
    float score = 0;
    float left = 0;
    float top = 0;
    float right = 0;
    float bottom = 0;
    std::int32_t order = 0;  // collection order, which breaks ties of score
};

// Everything FindFaces works in, owned by the caller and reused from frame to frame: the first call
// for a model and frame size sizes it, later calls of the same sizes allocate nothing.
struct FaceFinderState {
    FaceNetState net;
    FaceInputState input;
    std::vector<FaceCandidate> candidates;
    std::vector<bool> merged;
};

// Replaces faces with the faces in frame, best score first, with the fastest kernels this
// processor runs. An empty frame, or one whose pixels do not cover its size, has none.
void FindFaces(const FrameImage& frame, const FaceModel& model, FaceFinderState& state,
               std::vector<FaceDetection>& faces);
// The same with chosen kernels, for tests and benchmarks.
void FindFaces(const FrameImage& frame, const FaceModel& model, FaceFinderState& state,
               std::vector<FaceDetection>& faces, SimdLevel level);

// The decoding alone: candidates from the heads of a run net, merged into faces (in input pixels
// mapped through box to frame pixels).
void DecodeFaces(const FaceModel& model, FaceFinderState& state, const PixelRect& box,
                 std::int32_t frameWidth, std::int32_t frameHeight,
                 std::vector<FaceDetection>& faces);
