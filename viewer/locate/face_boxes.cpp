#include "face_boxes.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

float CenterX(const FaceDetection& face) {
    return face.left + face.width / 2;
}

float CenterY(const FaceDetection& face) {
    return face.top + face.height / 2;
}

// The index of the face whose centre is nearest the tracked one; the better score wins a tie.
std::size_t NearestFace(const std::vector<FaceDetection>& faces, const FaceTrack& track) {
    std::size_t nearest = 0;
    float best = INFINITY;
    for (std::size_t i = 0; i < faces.size(); ++i) {
        const float dx = CenterX(faces[i]) - track.centerX;
        const float dy = CenterY(faces[i]) - track.centerY;
        if (dx * dx + dy * dy < best) {
            best = dx * dx + dy * dy;
            nearest = i;
        }
    }
    return nearest;
}

// Clamped before the conversion, so a wild detection cannot overflow a box coordinate.
std::int32_t Coordinate(double value) {
    return static_cast<std::int32_t>(std::clamp(value, -1e9, 1e9));
}

void PaintSkinInBoxes(FrameImage& display, const FrameImage& frame,
                      const std::vector<RegionBox>& boxes, const SkinColorRange& range) {
    const SkinMask mask = BuildSkinMask(frame, range);
    for (const RegionBox& box : boxes) {
        for (std::int32_t r = std::max(box.top, 0); r < std::min(box.bottom, frame.height); ++r) {
            // Boxes count rows from the top; frames store them bottom-up.
            const auto row = static_cast<std::size_t>(frame.height - 1 - r) *
                             static_cast<std::size_t>(frame.width);
            for (std::int32_t x = std::max(box.left, 0); x < std::min(box.right, frame.width);
                 ++x) {
                if (mask.cells[row + static_cast<std::size_t>(x)] == 255) {
                    display.pixels[row + static_cast<std::size_t>(x)] = Pixel24{255, 0, 0};
                }
            }
        }
    }
}

}  // namespace

RegionBox FaceBox(const FaceDetection& face, bool expanded) {
    const double half = (expanded ? FACE_BOX_EXPANDED_SCALE : FACE_BOX_SCALE) *
                        std::max(face.width, face.height) / 2;
    const double cx = CenterX(face);
    const double cy = CenterY(face);
    return RegionBox{Coordinate(cx - half), Coordinate(cy - half), Coordinate(cx + half),
                     Coordinate(cy + half)};
}

void BoxFaces(std::vector<RegionBox>& boxes, FrameImage& display, const FrameImage& frame,
              const std::vector<FaceDetection>& faces, const SkinColorRange& range,
              const AnalysisOptions& options, FaceTrack& track) {
    if (faces.empty()) {
        track.covering = false;
        return;
    }
    const std::size_t chosen = track.covering ? NearestFace(faces, track) : 0;
    for (std::size_t i = 0; i < faces.size(); ++i) {
        if (options.allRegions || i == chosen) {
            boxes.push_back(FaceBox(faces[i], options.regionExpansion));
        }
    }
    track = FaceTrack{true, CenterX(faces[chosen]), CenterY(faces[chosen])};
    if (options.maskEnabled) {
        PaintSkinInBoxes(display, frame, boxes, range);
    }
}
