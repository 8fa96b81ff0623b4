// The boxes a paint covers when the neural face finder looks for faces instead of the skin
// analysis: a square around each detection, one face followed from paint to paint unless "&All"
// is on, and "&Mask" painting the skin-coloured pixels inside the boxes.
#pragma once

#include <vector>

#include "analyze_frame.h"
#include "face_finder.h"
#include "frame_image.h"
#include "skin_color.h"

// A square's side in detection sides: of the detection's larger side, or with "Region &Expansion".
inline constexpr double FACE_BOX_SCALE = 1.3;
inline constexpr double FACE_BOX_EXPANDED_SCALE = 1.6;

// The face the previous paint covered, so that a neighbour who scores higher for a moment does not
// take the cover away. Lives for the whole run on the paint thread.
struct FaceTrack {
    bool covering = false;
    float centerX = 0;
    float centerY = 0;
};

// The square on a detection's centre, in top-down picture pixels, truncated toward zero.
RegionBox FaceBox(const FaceDetection& face, bool expanded);

// Fills boxes, passed empty, from faces (best score first): every face with options.allRegions,
// else one, the best on the first paint or after a paint without faces and the face nearest the
// previous cover after that. With options.maskEnabled, paints the skin-coloured pixels of frame
// that lie inside the boxes blue in display, which has frame's size.
void BoxFaces(std::vector<RegionBox>& boxes, FrameImage& display, const FrameImage& frame,
              const std::vector<FaceDetection>& faces, const SkinColorRange& range,
              const AnalysisOptions& options, FaceTrack& track);
