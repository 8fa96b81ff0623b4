#include "face_finder.h"

#include <algorithm>
#include <cmath>

namespace {

float Sigmoid(float raw) {
    // Clamped as the model's own decoder does, so a wild value cannot overflow exp.
    return 1.0f / (1.0f + std::exp(-std::clamp(raw, -100.0f, 100.0f)));
}

float Iou(const FaceCandidate& a, const FaceCandidate& b) {
    const float width = std::min(a.right, b.right) - std::max(a.left, b.left);
    const float height = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
    if (width <= 0 || height <= 0) {
        return 0;
    }
    const float overlap = width * height;
    const float united =
        (a.right - a.left) * (a.bottom - a.top) + (b.right - b.left) * (b.bottom - b.top) - overlap;
    return united > 0 ? overlap / united : 0;
}

void Collect(const FaceModel& model, const FaceHead& head, const std::vector<float>& values,
             std::vector<FaceCandidate>& candidates) {
    const float cellSize = static_cast<float>(model.inputSide) / static_cast<float>(head.side);
    for (std::int32_t cell = 0; cell < head.side * head.side; ++cell) {
        const float* out = values.data() + static_cast<std::size_t>(cell * head.outChannels);
        const float anchorX = (static_cast<float>(cell % head.side) + 0.5f) * cellSize;
        const float anchorY = (static_cast<float>(cell / head.side) + 0.5f) * cellSize;
        for (std::int32_t anchor = 0; anchor < head.anchors; ++anchor) {
            const float score = Sigmoid(out[anchor]);
            if (!(score >= FACE_SCORE_THRESHOLD)) {
                continue;
            }
            // Centre offset from the anchor and size, in input pixels; key points follow.
            const float* box = out + head.anchors + anchor * FACE_BOX_VALUES;
            const float centerX = anchorX + box[0];
            const float centerY = anchorY + box[1];
            candidates.push_back({score, centerX - box[2] / 2, centerY - box[3] / 2,
                                  centerX + box[2] / 2, centerY + box[3] / 2,
                                  static_cast<std::int32_t>(candidates.size())});
        }
    }
}

// What the network's input rows are written from.
struct InputRows {
    const FrameImage& frame;
    const FaceModel& model;
    FaceFinderState& state;
    const FaceKernels& kernels;
};

void FillInputRow(void* context, std::int32_t y) {
    const InputRows& rows = *static_cast<const InputRows*>(context);
    FillFaceInputRow(rows.frame, rows.model, rows.state.net, rows.state.input, rows.kernels, y);
}

}  // namespace

void DecodeFaces(const FaceModel& model, FaceFinderState& state, const PixelRect& box,
                 std::int32_t frameWidth, std::int32_t frameHeight,
                 std::vector<FaceDetection>& faces) {
    faces.clear();
    std::vector<FaceCandidate>& candidates = state.candidates;
    candidates.clear();
    for (int grid = 0; grid < 2; ++grid) {
        Collect(model, model.heads[grid], state.net.heads[grid], candidates);
    }
    // Best first; equal scores (saturated ones are common) keep their collection order.
    std::sort(candidates.begin(), candidates.end(),
              [](const FaceCandidate& a, const FaceCandidate& b) {
                  return a.score > b.score || (a.score == b.score && a.order < b.order);
              });

    const float scaleX = static_cast<float>(frameWidth) / static_cast<float>(Width(box));
    const float scaleY = static_cast<float>(frameHeight) / static_cast<float>(Height(box));
    std::vector<bool>& merged = state.merged;
    merged.assign(candidates.size(), false);
    for (std::size_t seed = 0; seed < candidates.size(); ++seed) {
        if (merged[seed]) {
            continue;
        }
        float weight = 0, left = 0, top = 0, right = 0, bottom = 0;
        for (std::size_t other = seed; other < candidates.size(); ++other) {
            if (merged[other] || Iou(candidates[seed], candidates[other]) < FACE_MERGE_IOU) {
                continue;
            }
            merged[other] = true;
            const FaceCandidate& c = candidates[other];
            weight += c.score;
            left += c.score * c.left;
            top += c.score * c.top;
            right += c.score * c.right;
            bottom += c.score * c.bottom;
        }
        if (weight == 0) {
            // A box of no area overlaps nothing, itself included: it stands alone.
            merged[seed] = true;
            const FaceCandidate& c = candidates[seed];
            weight = 1;
            left = c.left;
            top = c.top;
            right = c.right;
            bottom = c.bottom;
        }
        left /= weight;
        top /= weight;
        right /= weight;
        bottom /= weight;
        FaceDetection face;
        face.score = candidates[seed].score;
        face.left = (left - static_cast<float>(box.left)) * scaleX;
        face.top = (top - static_cast<float>(box.top)) * scaleY;
        face.width = (right - left) * scaleX;
        face.height = (bottom - top) * scaleY;
        faces.push_back(face);
    }
}

void FindFaces(const FrameImage& frame, const FaceModel& model, FaceFinderState& state,
               std::vector<FaceDetection>& faces, SimdLevel level) {
    faces.clear();
    if (frame.width <= 0 || frame.height <= 0 || model.blocks.empty() ||
        frame.pixels.size() / static_cast<std::size_t>(frame.width) <
            static_cast<std::size_t>(frame.height)) {
        return;
    }
    const FaceKernels kernels = SelectFaceKernels(level);
    PrepareFaceNet(model, state.net);
    std::size_t anchors = 0;
    for (const FaceHead& head : model.heads) {
        anchors += static_cast<std::size_t>(head.side * head.side * head.anchors);
    }
    state.candidates.reserve(anchors);
    state.merged.reserve(anchors);
    const PixelRect box = PrepareFaceInput(frame, model, state.input);
    InputRows rows{frame, model, state, kernels};
    RunFaceNet(model, state.net, kernels, {FillInputRow, &rows});
    DecodeFaces(model, state, box, frame.width, frame.height, faces);
}

void FindFaces(const FrameImage& frame, const FaceModel& model, FaceFinderState& state,
               std::vector<FaceDetection>& faces) {
    static const SimdLevel level = DetectSimdLevel();
    FindFaces(frame, model, state, faces, level);
}
